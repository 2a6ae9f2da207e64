// The "File Actions" script step: copy, move, rename, delete or recycle
// files, make and remove folders, read a file's date, time or size, test
// whether a file exists, and write the list of windows to a file. Results
// are left in script values ("FILECOPY" ... "FILEEXISTS", and "ERRORCODE"
// after every action) for later "If Value..." items.
//
// Names: "\" is read as "/", as everywhere in the program; a drive letter
// ("C:\...") is not guessed at, so such a name is simply not found. Copy,
// move, rename, delete and recycle take lists of names separated by "|" or
// ";" (each optionally followed by a blank) and the wildcards "*" and "?"
// (which match files only; "*.*" matches every file, as it always has).
//
// Result codes are stable: 0 for success, otherwise the system's errno of
// the first operation that failed (ENOENT 2 nothing to work on or no such
// file, EEXIST 17 a rename onto an existing name, EINVAL 22 a copy or move
// of a file onto itself, ENOTDIR, EACCES, ENOSPC ... as the system says).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scheduler/ScriptServices.h"

namespace kr {

// The shell's file operation: one instance per action. Operation codes are
// the traditional ones (move 1, copy 2, delete 3, rename 4). Each call
// writes the trace ".\DEBUG.INI", section "ShFileOp", keys "Exec" (the code),
// "Source" and "Target" (the lists, "|"-separated) before it works.
class ShellFileOp {
public:
    enum Code : int { kMove = 1, kCopy = 2, kDelete = 3, kRename = 4 };

    void Init(bool renameOnCollision = false);
    // Each list split into names (see above) and stored.
    void SetPaths(std::string_view source, std::string_view target);
    // A "|" or ";" separated list as single names, "\" read as "/", blanks
    // around each name trimmed, empty names dropped.
    static std::vector<std::string> NormalizePath(std::string_view path);
    // Runs the operation on the stored lists; 0 or the errno of the first
    // failure. Every name is tried; the first failure is the result.
    int Execute(int code);

    int Copy(std::string_view source, std::string_view target);
    int Move(std::string_view source, std::string_view target);
    int Rename(std::string_view source, std::string_view target);
    // allowUndo: into the desktop's trash (freedesktop trash can) instead of
    // deleting for good.
    int Delete(std::string_view path, bool allowUndo);
    int DeleteToRecycleBin(std::string_view path) { return Delete(path, true); }
    void Kill() {}

    bool initialized() const { return initialized_; }
    const std::vector<std::string>& source() const { return source_; }
    const std::vector<std::string>& target() const { return target_; }

private:
    bool initialized_ = false;
    bool allowUndo_ = false;
    std::vector<std::string> source_, target_;
};

// What the list of windows is read from for "Log Windows" (the desktop's by
// default; tests install their own).
class LogWindowsSource {
public:
    struct Window {
        std::string text;
        std::string className;
        uint32_t handle = 0;
    };
    virtual ~LogWindowsSource() = default;
    virtual std::vector<Window> TopWindows() = 0;
    virtual std::vector<Window> Children(uint32_t window) = 0;
};
void SetLogWindowsSource(LogWindowsSource* source);  // nullptr: the desktop

// Writes the window list to the file: fixed-width lines (CR LF) of window
// title (40), handle (12), child text (40), child class (20), child handle
// (12), characters counted, handles in decimal, left-justified. Returns the
// number of windows listed, or -1 when the file cannot be written (errorCode
// then holds the errno).
int LogWindows(const std::string& fileName, int& errorCode);

// The outcome of one file action, before it is stored.
struct FileActionOutcome {
    std::string valueName;  // the script value it sets ("FileCopy" ...); empty for none
    std::string value;      // its text
    int64_t result = 0;     // the action's result (shell code, 1/0, date, time, size, count)
    int errorCode = 0;      // the value "Errorcode"
};

// Runs a file action on names already translated. Display-free and safe on
// a worker thread, apart from "Log Windows" (the desktop's window list),
// which the caller runs on thread 1.
FileActionOutcome RunFileAction(std::string_view operation, std::string_view source, std::string_view target);
// Stores the outcome in the script values (its value, then "Errorcode").
void StoreFileActionValues(const FileActionOutcome& outcome);

// The step as a whole: source and target through TranslateValues, the
// action, its values stored; returns its result. The extra strings are not
// used.
int64_t DoFileAction(std::string_view operation, std::string_view source, std::string_view target,
                     std::string_view extra1 = {}, std::string_view extra2 = {});

// The interpreter's service: values are translated and stored on thread 1,
// the file work runs on a worker thread, "Log Windows" on thread 1; `done`
// comes through the event loop of the thread that started it (needs a Qt
// event loop there).
class FileActionWorker : public FileActionService {
public:
    FileActionWorker();
    ~FileActionWorker() override;
    bool Start(const FileActionRequest& request, std::function<void(int32_t result)> done) override;

private:
    struct Impl;
    Impl* impl_;
};

}  // namespace kr
