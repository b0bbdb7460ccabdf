// The tracer structure file writer.
#include "codegen/tsfgen.h"

#include "codegen/tdcgen.h"
#include "diag/i18nerrgest.h"
#include "diag/i18nutil.h"

#include <QString>
#include <QTextCodec>

#include <algorithm>
#include <array>
#include <map>

namespace qvm::codegen {

namespace {

namespace sem = script::sem;

constexpr std::size_t kLineLimit = 4095;  // bytes of a line, its newline not counted
constexpr int kFirstElement = 3;          // 1 is the system under test, 2 the default tester
constexpr int kNoLink = 0;
constexpr const char* kContext = "TsfGen context";

// The state codes of the elements.
enum State : int {
    kRendezvous = 310,
    kWaittilStep = 380,
    kMessage = 383,
    kScenarioBegin = 390,
    kScenarioEnd = 393,
    kInitialization = 400,
    kTermination = 410,
    kException = 420,
    kWaittilEdge = 433,
};

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

// A text of the script or a file name, in the local 8-bit encoding. A text
// that is not valid there (a script written in Latin-1 read under a UTF-8
// locale) is read as Latin-1, so that no character is lost.
QString fromScript(std::string_view local8)
{
    const int size = static_cast<int>(local8.size());
    QTextCodec::ConverterState state;
    QString text = QTextCodec::codecForLocale()->toUnicode(local8.data(), size, &state);
    if (state.invalidChars > 0 || state.remainingChars > 0) {
        return QString::fromLatin1(local8.data(), size);
    }
    return text;
}

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Plain ASCII reads the same in every locale encoding and in UTF-8.
std::string scriptText(std::string_view local8)
{
    return isAscii(local8) ? std::string(local8) : utf8(fromScript(local8));
}

// The same as a view: of the text itself when it is plain ASCII, else of
// its conversion, kept in storage.
std::string_view scriptText(std::string_view local8, std::string& storage)
{
    if (isAscii(local8)) {
        return local8;
    }
    storage = utf8(fromScript(local8));
    return storage;
}

std::string quotedSourcePath(std::string_view path)
{
    std::string quoted = "\"";
    for (const char c : path) {
        switch (c) {
        case '\\':
        case '/':
            quoted += "\\\\";
            break;
        case '"':
            quoted += "\\\"";
            break;
        default:
            quoted += c;
        }
    }
    return quoted + "\"";
}

// The length of the longest start of text that holds at most limit bytes
// and ends between two UTF-8 characters.
std::size_t cutOnCharacter(std::string_view text, std::size_t limit)
{
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return cut;
}

// The lines of a part of the file. A line beyond the limit is reported (the
// file is still written, as the TDC file is) and cut. The lines are gathered
// until passed to the file, or, for lines that go through to a file as they
// come, only until they make a piece worth a write.
class TracerLines {
public:
    TracerLines() = default;
    explicit TracerLines(GeneratedFile& through) : through_(&through) {}

    // A line made of the pieces of pieces.h.
    template <typename... Pieces>
    void line(const Pieces&... pieces)
    {
        const std::size_t start = text_.size();
        appendPieces(text_, pieces...);
        const std::string_view added = std::string_view(text_).substr(start);
        if (added.size() > kLineLimit) {
            const std::size_t kept = cutOnCharacter(added, kLineLimit);
            diag::warning("SIZBUFOVL", {}, std::to_string(added.size() - kept));
            text_.resize(start + kept);
        }
        text_ += '\n';
        passWhenFull();
    }
    // Lines too short ever to reach the limit, made of the pieces, each
    // ended by a newline among them.
    template <typename... Pieces>
    void shortLines(const Pieces&... pieces)
    {
        appendPieces(text_, pieces...);
        passWhenFull();
    }

    const std::string& text() const { return text_; }
    // Writes the lines gathered so far to the file and forgets them.
    void passTo(GeneratedFile& file)
    {
        file.writeBlock(text_);
        text_.clear();
    }

private:
    static constexpr std::size_t kPassBytes = 64 * 1024;

    void passWhenFull()
    {
        if (through_ != nullptr && text_.size() >= kPassBytes) {
            passTo(*through_);
        }
    }

    std::string text_;
    GeneratedFile* through_ = nullptr;
};

// The elements of one source file: its lines and its element counter.
struct FileElements {
    TracerLines lines;
    int next = kFirstElement;
};

const script::SourceFileRecord* recordOfFile(const std::vector<script::SourceFileRecord>& records, int fileId)
{
    for (const script::SourceFileRecord& record : records) {
        if (record.fileId == fileId) {
            return &record;
        }
    }
    return nullptr;
}

// The elements of every source file, numbered per file in the order of the
// model. Those of the file whose section comes first can go to the output
// as they are written; the others wait for their sections.
class ElementWriter {
public:
    explicit ElementWriter(Numbering& numbering) : numbering_(numbering) {}

    // The elements of that file go through to the output.
    void writeThrough(int fileId, GeneratedFile& output)
    {
        files_.try_emplace(fileId, FileElements{TracerLines(output)});
    }
    // Writes what is left of the elements of a file written through.
    void finishThrough(int fileId, GeneratedFile& output)
    {
        files_.at(fileId).lines.passTo(output);
    }

    // The elements of the constructs, in their order.
    void write(const std::vector<const sem::Entry*>& traced)
    {
        for (const sem::Entry* entry : traced) {
            writeElements(*entry);
        }
    }

    // The element lines of a file, "" when it has none.
    std::string_view linesOf(int fileId) const
    {
        const auto found = files_.find(fileId);
        return found != files_.end() ? std::string_view(found->second.lines.text()) : std::string_view();
    }

private:
    void writeElements(const sem::Entry& entry)
    {
        switch (entry.code) {
        case sem::ENT_INSTANCE_DECL:
            writeTester(entry);
            break;
        case sem::ENT_SCENARIO:
            writeScenario(entry);
            break;
        case sem::ENT_INITIALIZATION:
            writeBlock(entry, kInitialization, "INITIALIZATION");
            break;
        case sem::ENT_TERMINATION:
            writeBlock(entry, kTermination, "TERMINATION");
            break;
        case sem::ENT_EXCEPTION:
            writeBlock(entry, kException, "EXCEPTION");
            break;
        case sem::ENT_WAITTIL:
            writeWaittil(entry);
            break;
        case sem::ENT_SEND:
            writeSingle(entry, kMessage, "MS", scriptText(messageTypeOf(entry), converted_));
            break;
        case sem::ENT_INTERSEND:
        case sem::ENT_INTERRECV:
            writeSingle(entry, kMessage, "TX", "...");
            break;
        case sem::ENT_RENDEZVOUS:
            writeSingle(entry, kRendezvous, "TX", scriptText(entry.name));
            break;
        default:
            break;
        }
    }

    // The elements of the file, found once for the entries that follow
    // each other in the same file.
    FileElements& fileOf(int fileId)
    {
        if (current_ == nullptr || currentId_ != fileId) {
            current_ = &files_[fileId];
            currentId_ = fileId;
        }
        return *current_;
    }

    void writeTester(const sem::Entry& instance)
    {
        FileElements& file = fileOf(instance.fileId());
        file.lines.line("SI 1");
        file.lines.line("IN \"VirtualTester\" ", file.next++, " ", QuotedPiece{scriptText(instance.name)});
    }

    void writeScenario(const sem::Entry& scenario)
    {
        if (scenario.name.empty()) {
            return;
        }
        const ItemNumbers records = numbering_.records.find(scenario);
        const std::string_view name = scriptText(scenario.name, converted_);
        const int begin = element(scenario, kScenarioBegin, records.begin, "TX", name);
        const int end = element(scenario, kScenarioEnd, records.end, "TX", name);
        numbering_.elements.of(scenario) = {begin, end};
    }

    void writeBlock(const sem::Entry& block, int state, std::string_view word)
    {
        const ItemNumbers records = numbering_.records.find(block);
        const int begin = element(block, state, records.begin, "TX", word);
        const int end = element(block, state, records.end, "TX", word);
        numbering_.elements.of(block) = {begin, end};
    }

    void writeWaittil(const sem::Entry& waittil)
    {
        const ItemNumbers records = numbering_.records.find(waittil);
        const std::string endText = endTextOf(statementText(waittil));
        element(waittil, kWaittilEdge, records.begin, "TX", "WAITTIL");
        const int step = element(waittil, kWaittilStep, records.begin, "TX", "...");
        const int end = element(waittil, kWaittilEdge, records.end, "TX", endText);
        numbering_.elements.of(waittil) = {step, end};
    }

    void writeSingle(const sem::Entry& entry, int state, std::string_view kind, std::string_view text)
    {
        const int number = element(entry, state, numbering_.records.find(entry).begin, kind, text);
        numbering_.elements.of(entry).begin = number;
    }

    // Three lines in the entry's file: state, link and the numbered text.
    // Returns the element's number.
    int element(const sem::Entry& entry, int state, int link, std::string_view kind, std::string_view text)
    {
        FileElements& file = fileOf(entry.fileId());
        const int number = file.next++;
        file.lines.shortLines("ST ", state, "\nLK ", link >= 0 ? link : kNoLink, '\n');
        if (text.find('"') == std::string_view::npos) {
            file.lines.line(kind, ' ', number, " \"", text, '"');
        } else {
            file.lines.line(kind, " ", number, " ", QuotedPiece{text});
        }
        return number;
    }

    // The message type of a SEND: the structure of the message sent.
    static std::string_view messageTypeOf(const sem::Entry& send)
    {
        const sem::Entry* message = send.descriptor != nullptr ? send.data<sem::SendData>().message : nullptr;
        if (message == nullptr || message->descriptor == nullptr) {
            return send.name;
        }
        const sem::Entry* structure = message->data<sem::MessageVarData>().structure;
        return structure != nullptr ? std::string_view(structure->name) : std::string_view(send.name);
    }

    // The WAITTIL as the user wrote it: its condition as shown.
    static std::string_view statementText(const sem::Entry& waittil)
    {
        if (waittil.descriptor == nullptr) {
            return waittil.name;
        }
        return waittil.data<sem::WaittilData>().texts->condition;
    }

    // "END <condition>" as translated.
    static std::string endTextOf(std::string_view condition)
    {
        return utf8(diag::tr(kContext, "END %1").arg(fromScript(condition)));
    }

    Numbering& numbering_;
    std::map<int, FileElements> files_;  // by file id
    FileElements* current_ = nullptr;
    int currentId_ = 0;
    std::string converted_;  // the last script text that was not plain ASCII
};

void writeHeader(TracerLines& out)
{
    out.line("DB \"Ostrel-Tracer\"");
    out.line("ID 1 1");
    out.line("IN \"Sut\" 1 ", QuotedPiece{utf8(diag::tr(kContext, "System under test"))});
    out.line("ED");
}

void sectionHead(TracerLines& out, const script::SourceFileRecord& file, const TracerInput& input)
{
    out.line("DB \"Ostrel-Tracer\"");
    out.line("ID ", file.hashKey, " ", tracerRunKey(file, input.processId, input.date));
    out.line("SO ", quotedSourcePath(scriptText(file.path)), " 0000 \"txt\"");
    out.line("IN \"File\" 1 ", QuotedPiece{scriptText(file.baseName)});
    out.line("SI 1");
    out.line("IN \"VirtualTester\" 2 ", QuotedPiece{utf8(diag::tr(kContext, "default tester"))});
}

// The element lines, already checked, go to the file as they are.
void writeSection(TracerLines& out, GeneratedFile& output, const script::SourceFileRecord& file,
                  const TracerInput& input, std::string_view elements)
{
    sectionHead(out, file, input);
    out.passTo(output);
    output.writeBlock(elements);
    out.line("ED");
}

}  // namespace

// The sections follow each other from file id 1 up to the first id with no
// source file. The first section's elements, the script's, are most of the
// file: its head is written before the walk and its elements go through to
// the file while the walk writes them.
void writeTracerFile(GeneratedFiles& files, Numbering& numbering, const TracerInput& input)
{
    GeneratedFile& output = files.create(input.path);
    constexpr int kFirstFile = 1;
    const script::SourceFileRecord* first = recordOfFile(*input.sourceFiles, kFirstFile);
    ElementWriter elements(numbering);
    TracerLines out;
    writeHeader(out);
    if (first != nullptr) {
        sectionHead(out, *first, input);
        out.passTo(output);
        elements.writeThrough(kFirstFile, output);
    }
    if (!numbering.index) {
        numbering.index = indexScript(*input.model);
    }
    elements.write(numbering.index->traced);
    if (first == nullptr) {
        out.passTo(output);
        return;
    }
    elements.finishThrough(kFirstFile, output);
    out.line("ED");
    for (int fileId = kFirstFile + 1;; ++fileId) {
        const script::SourceFileRecord* file = recordOfFile(*input.sourceFiles, fileId);
        if (file == nullptr) {
            break;
        }
        writeSection(out, output, *file, input, elements.linesOf(fileId));
    }
    out.passTo(output);
}

long tracerRunKey(const script::SourceFileRecord& file, int processId, std::string_view date)
{
    long key = static_cast<long>(processId) + file.checksum;
    for (const char c : date) {
        key += static_cast<unsigned char>(c) - 32;
    }
    return key;
}

}  // namespace qvm::codegen
