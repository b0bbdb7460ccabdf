// The tracer structure file: for the graphical tracer that follows a running
// test, one section per source file of the script listing the elements the
// generated program reports (scenarios, blocks, WAITTIL steps, messages,
// rendezvous, inter-tester exchanges), numbered per file from 3.
#pragma once

#include "codegen/genfiles.h"
#include "codegen/gennumbers.h"
#include "script/semmodel.h"
#include "script/sourcefiles.h"

#include <string>
#include <string_view>
#include <vector>

namespace qvm::codegen {

// What the tracer structure writer reads.
struct TracerInput {
    std::string path;  // the file to write
    const std::vector<script::SourceFileRecord>* sourceFiles = nullptr;  // in any order
    const script::sem::Model* model = nullptr;
    std::string date;  // date text of the run
    int processId = 0;
};

// Writes the file and stores, in numbering.elements, per model entry:
//   scenario                 begin = its begin element, end = its end element
//   INITIALIZATION, TERMINATION, EXCEPTION
//                            begin = its begin element, end = its end element
//   WAITTIL                  begin = its message-step element,
//                            end = its end element (its begin element is begin - 1)
//   SEND                     begin = its message element
//   INTERSEND, INTERRECV     begin = its element
//   RENDEZVOUS               begin = its element
// Element numbers count per source file; the program writer passes each with
// the file id of the entry. Every named scenario is listed, generated or not;
// the body of a procedure only when it is used. The "LK" link of an element is the TDC record
// number of its construct, read from numbering.records (the end record for
// the end element of a scenario, a block or a WAITTIL), 0 when the TDC
// writer numbered none.
void writeTracerFile(GeneratedFiles& files, Numbering& numbering, const TracerInput& input);

// The run key of a source file: the process id, plus the file's checksum,
// plus the sum over the date text of each character's code less 32. The
// section "ID" line and the program's notify_tsf call both give it.
long tracerRunKey(const script::SourceFileRecord& file, int processId, std::string_view date);

}  // namespace qvm::codegen
