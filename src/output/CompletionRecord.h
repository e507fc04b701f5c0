// What a call says about the files it wrote: the completion record, which
// marks an output set complete and lists its files by entire simulation, and
// the closing line on standard error.
#pragma once

#include <string>
#include <vector>

namespace fluviagen {

class OutputRegistry;

// The call's closing line (without a line end): "No output files written.",
// or "Outputs written to <folder> (<n> files; listed in <listing>)" when
// listing (the completion record, or the run record of a failed call) is
// among the files written, so the line stays short however many files a
// call writes; else "Outputs written to <folder>: <file>, <file>, ...".
// Names are relative to folder.
std::string outputsLine(const std::string& folder, const std::vector<std::string>& written,
                        const std::string& listing = {});

// Writes the completion record of an output set at path (atomically, like
// every output): the files the call wrote, relative to folder, one a line,
// grouped under a line per entire simulation that says whether it was
// accepted or failed and why ("# accepted entire simulation 2",
// "# failed entire simulation 1: <reason>"), then "# written by the call" and
// the files completed outside them. A call that wrote nothing writes no
// record. The record does not list itself (a record written again, after
// the maps, is among the files of the call).
void writeCompletionRecord(const std::string& path, const std::string& folder, OutputRegistry& registry);

}  // namespace fluviagen
