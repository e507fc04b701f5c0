// "Stage, then rename": the files of one program call are written in a
// private folder and put into place together only when every one of them is
// complete, so that a reader of the output folder finds either the earlier
// files or the new ones, never a half-written file under a final name.
//
// The private folder is made by mkdtemp inside the output folder (same file
// system, so a rename moves a file without copying it; mode 0700, so no other
// user can plant a file or a symbolic link in it). A library that opens its
// file by name (GDAL, cairo's file surfaces) is given `stagedPath(name)`;
// code that writes through a descriptor gets one from `create(name)`, opened
// as a new file (common/NewFile.h). `commit()` renames every staged file to
// "<output folder>/<name>" (replacing an earlier file of that name; a
// symbolic link there is replaced, never written through) and removes the
// private folder. A folder never committed is removed with everything in it
// when the object ends, and by the SignalCleanup it is registered with when a
// signal ends the process.
#pragma once

#include <string>
#include <vector>

#include "common/Error.h"
#include "common/NewFile.h"

namespace common {

class SignalCleanup;

class StagingFolder {
public:
    // Makes "<outputFolder>/.<tag>-XXXXXX" (an empty outputFolder is the
    // working folder, and the final paths are then plain names). Throws
    // OutputError naming the output folder when it cannot.
    StagingFolder(const std::string& outputFolder, const std::string& tag, SignalCleanup* cleanup = nullptr);
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    // The path of the staged file that will be "<output folder>/<name>".
    // `name` is a plain file name (no folder, not "." or ".."); a name staged
    // twice is refused. Throws OutputError.
    std::string stagedPath(const std::string& name);
    // Creates the staged file of `name` and returns its open descriptor
    // (the caller closes it). Throws OutputError.
    int create(const std::string& name);

    // Renames every staged file into the output folder, in the order staged,
    // and removes the private folder. A staged file that does not exist (a
    // library failed without saying so) is refused before any rename. Returns
    // the final paths. Throws OutputError; the files already renamed by this
    // commit are then removed as well, so a call leaves all of its files or
    // none.
    std::vector<std::string> commit();
    // Removes the private folder and every staged file.
    void abandon() noexcept;

    const std::string& folder() const { return folder_; }
    const std::string& outputFolder() const { return outputFolder_; }
    // The names staged so far, in order.
    const std::vector<std::string>& names() const { return names_; }

private:
    std::string outputFolder_;
    std::string folder_;  // empty once committed or abandoned
    std::vector<std::string> names_;
    SignalCleanup* cleanup_ = nullptr;
};

// True for a plain file name: not empty, not "." or "..", without '/' and
// without control characters.
bool isPlainFileName(const std::string& name);

}  // namespace common
