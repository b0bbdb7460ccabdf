// The TDC writer's record syntax, its file header and the probe header lines.
#include "codegen/tdcgen_detail.h"

#include "base/cstsyst.h"
#include "base/extgest.h"
#include "diag/i18nerrgest.h"

#include <algorithm>
#include <array>

namespace qvm::codegen {

std::string generationStamp(std::string_view dateText)
{
    return std::string(dateText) + " " + std::to_string(base::processId());
}

std::string tdcQuoted(std::string_view text)
{
    std::string out;
    tdc::appendQuoted(out, text);
    return out;
}

void appendPiece(std::string& out, QuotedPiece field)
{
    tdc::appendQuoted(out, field.text);
}

void writeTdc(GeneratedFiles& files, Numbering& numbering, const TdcRun& run)
{
    numbering.index = indexScript(*run.model);
    tdc::TdcWriter(files, numbering.records, *numbering.index, numbering.probe, run).write();
}

}  // namespace qvm::codegen

namespace qvm::codegen::tdc {

namespace {

// What each byte of a text is written as between a record's quotes: a
// record is one line, and a line break in a text would end it early, the
// reader taking the rest for a record of its own. The control characters
// (tabs aside) are written as '?'.
constexpr auto kQuotedBytes = [] {
    std::array<char, 256> bytes{};
    for (std::size_t byte = 0; byte < bytes.size(); ++byte) {
        const bool control = (byte < 0x20 && byte != '\t') || byte == 0x7F;
        bytes[byte] = control ? '?' : static_cast<char>(byte);
    }
    return bytes;
}();

}  // namespace

void appendQuoted(std::string& out, std::string_view text)
{
    appendQuoted(out, {}, text);
}

// A quote of the text is doubled.
void appendQuoted(std::string& out, std::string_view before, std::string_view text)
{
    const std::size_t start = out.size();
    // Room for every character doubled, cut back to what was written.
    out.resize(start + before.size() + 2 * text.size() + 2);
    char* at = std::copy(before.begin(), before.end(), out.data() + start);
    *at++ = '"';
    for (const char c : text) {
        *at++ = kQuotedBytes[static_cast<unsigned char>(c)];
        if (c == '"') {
            *at++ = '"';
        }
    }
    *at++ = '"';
    out.resize(static_cast<std::size_t>(at - out.data()));
}

Location locationOf(const script::sem::Entry& entry)
{
    return {entry.fileId(), entry.line};
}

void Fields::separate()
{
    if (any_) {
        text_ += ", ";
    }
    any_ = true;
}

Fields& Fields::text(std::string_view value)
{
    appendQuoted(text_, any_ ? ", " : "", value);
    any_ = true;
    return *this;
}

Fields& Fields::text(std::initializer_list<std::string_view> parts)
{
    std::string joined;
    for (const std::string_view part : parts) {
        joined += part;
    }
    return text(joined);
}

Fields& Fields::number(long long value)
{
    separate();
    appendPieces(text_, '"', value, '"');
    return *this;
}

Fields& Fields::raw(std::string_view value)
{
    separate();
    text_ += value;
    return *this;
}

Fields& Fields::absentTimes(int count)
{
    for (int i = 0; i < count; ++i) {
        absent();
    }
    return *this;
}

namespace {

// Whether the fields end inside a quoted text ('""' inside one is a quote).
bool endsInsideText(std::string_view fields)
{
    bool inside = false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i] != '"') {
            continue;
        }
        if (!inside) {
            inside = true;
        } else if (i + 1 < fields.size() && fields[i + 1] == '"') {
            ++i;
        } else {
            inside = false;
        }
    }
    return inside;
}

}  // namespace

std::string cutFields(std::string_view fields, std::size_t room)
{
    if (fields.size() <= room) {
        return std::string(fields);
    }
    std::string kept(fields.substr(0, room));
    if (endsInsideText(kept)) {
        kept.pop_back();
        if (endsInsideText(kept)) {
            kept += '"';
            return kept;
        }
    }
    while (!kept.empty() && (kept.back() == ' ' || kept.back() == ',')) {
        kept.pop_back();
    }
    return kept;
}

void writeRecord(GeneratedFile& file, std::string_view line)
{
    if (line.size() > kRecordLimit) {
        diag::warning("SIZBUFOVL", {}, std::to_string(line.size() - kRecordLimit));
    }
    file.writeLine(line.substr(0, kRecordLimit));
}

TdcWriter::TdcWriter(GeneratedFiles& files, NumberTable& numbers, const ScriptIndex& index, ProbeCodes& probeCodes,
                     const TdcRun& run)
    : tdc_(files.create(run.tdcPath)), numbers_(numbers), definitions_(index.describedDefinitions),
      probeCodes_(probeCodes), run_(run)
{
    if (run.probeMode != 0) {
        probe_ = &files.create(run.probeHeaderPath);
    }
}

void TdcWriter::write()
{
    if (probe_ != nullptr) {
        probeLine("#ifndef TRV_PROBE_H\n#define TRV_PROBE_H\n\n#define TRV_TDC_END_SEND 1\n#define TRV_TDC_END_RECV 2\n\n");
    }
    banner();
    header();
    statements(&run_.model->global());
    probeDefine(lastSend_, "LAST_SEND");
    probeDefine(std::max(lastSend_, lastReceive_), "LAST_ID");
}

int TdcWriter::record(std::string_view letters, const Fields& fields, const std::optional<Location>& where)
{
    const int number = nextNumber_++;
    // A record that cannot reach the limit goes to the file as it is made.
    // At their longest (a number of 11 characters), the key ends 12
    // characters after its letters and the location takes 30.
    const std::size_t longest = letters.size() + 12 + fields.joined().size() + (where ? 30 : 0);
    if (longest <= kRecordLimit) {
        if (where) {
            // After the fields: ", \"<file>\", \"<line>\"".
            tdc_.write(letters, number, ' ', fields.joined(), fields.empty() ? "" : ", ", '"', where->file, "\", \"",
                       where->line, "\"\n");
        } else {
            tdc_.write(letters, number, ' ', fields.joined(), '\n');
        }
        return number;
    }
    line_.clear();
    appendPieces(line_, letters, number, ' ');
    const std::size_t keySize = line_.size();
    line_ += fields.joined();
    // After the fields: ", \"<file>\", \"<line>\"".
    if (where) {
        appendPieces(line_, fields.empty() ? "" : ", ", '"', where->file, "\", \"", where->line, '"');
    }
    if (line_.size() > kRecordLimit) {
        // The fields are cut; the key and the location stay whole.
        const std::string location = line_.substr(keySize + fields.joined().size());
        const std::size_t room = kRecordLimit - std::min(kRecordLimit, keySize + location.size());
        const std::string kept = cutFields(fields.joined(), room);
        line_.resize(keySize);
        line_ += kept;
        line_ += location;
        reportCutRecord(where, fields.joined().size() - kept.size());
    }
    line_ += '\n';
    tdc_.writeBlock(line_);
    return number;
}

void TdcWriter::reportCutRecord(const std::optional<Location>& where, std::size_t dropped)
{
    const std::string count = std::to_string(dropped);
    if (where) {
        for (const script::SourceFileRecord& file : *run_.sourceFiles) {
            if (file.fileId == where->file) {
                diag::reportLocated(diag::Warning, "SIZBUFOVL", count, file.path, where->line);
                return;
            }
        }
    }
    diag::warning("SIZBUFOVL", {}, count);
}

void TdcWriter::probeLine(std::string_view text)
{
    if (probe_ != nullptr) {
        probe_->write(text);
    }
}

void TdcWriter::banner()
{
    const std::string stamp = generationStamp(run_.dateText);
    Fields& fields = newFields();
    fields.text("v2.6a").text("QVM_C").text("TDC file").text(stamp);
    line_ = "TARVO Ostrel";
    appendRecord(line_, fields, {});
    writeRecord(tdc_, line_);
    probeLine("#define TRV_TDC_gen \"" + stamp + "\"\n");
}

void TdcWriter::header()
{
    record("G", newFields().text(run_.commandLine), std::nullopt);
    record("H", newFields().text(run_.dateText), std::nullopt);
    record("F", newFields().text(run_.scriptPath), std::nullopt);
    record("F", newFields().number(run_.traceLevel), std::nullopt);
    record("IL", instanceFields(), std::nullopt);
    record("FB", newFields().text(""), std::nullopt);
    sourceFileRecords();
}

Fields TdcWriter::instanceFields()
{
    Fields fields;
    switch (run_.instanceMode) {
    case 0: fields.text(""); break;
    case 1: fields.text(run_.instance); break;
    case 2:
    case 3:
        if (run_.instance.empty()) {
            for (const script::sem::Entry& entry : run_.model->global().entries) {
                if (entry.code == script::sem::ENT_INSTANCE_DECL) {
                    fields.text(entry.name);
                }
            }
        }
        break;
    default: diag::error("BADPARAMS"); break;
    }
    return fields;
}

// One record per distinct source file, in file id order (the script first),
// so that the location index of a record, the file id, is the rank of its CF
// record. The two paths are the file's directory as it was opened and its
// directory relative to the script's.
void TdcWriter::sourceFileRecords()
{
    std::vector<script::SourceFileRecord> files = *run_.sourceFiles;
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.fileId < b.fileId; });
    const std::string scriptDirectory = files.empty() ? std::string() : files.front().absoluteDirectory;
    for (const script::SourceFileRecord& file : files) {
        Fields& fields = newFields();
        fields.text(file.baseName)
            .text(base::directoryPart(file.path))
            .text(base::relativePath(scriptDirectory, file.absoluteDirectory))
            .number(static_cast<long long>(file.size))
            .number(file.checksum);
        record("CF", fields, std::nullopt);
    }
}

}  // namespace qvm::codegen::tdc
