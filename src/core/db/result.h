#pragma once

#include <QString>

// Error numbers the program tells apart; the engine's are kept so that messages and handling
// stay recognisable to people who know the installation's tools.
namespace dberr {
constexpr int None = 0;
constexpr int BadFile = 2; // a workbook, plan, snapshot or drawing that cannot be read or written
constexpr int Refused = 1;       // a rule of the program refused the write; the description says which
constexpr int FileNotFound = 53; // the existence check before a load
constexpr int PermissionDenied = 70;
constexpr int PathNotFound = 76;
constexpr int EngineFileNotFound = 3024;
constexpr int InvalidPath = 3044;
constexpr int CannotOpen = 3051;
constexpr int TableNotFound = 3078;
constexpr int FieldNotFound = 3265;
constexpr int NotADatabase = 3343;
constexpr int ReadOnly = 3027; // the file, its folder or the connection cannot be written
constexpr int Damaged = 3049;
constexpr int InterruptedWrite = 3046; // a crashed writer's journal: only a writing open restores the file
constexpr int Locked = 3260;           // another program holds the file
constexpr int QueryFailed = 3000;      // any other engine failure
} // namespace dberr

// The result of everything in the core that can fail: a code the program tells apart, a
// description fit for a user (it names the file, table or field, never a statement and never the
// engine's own words), and the engine's detail, kept apart for the log. Returned, it must be looked at.
struct [[nodiscard]] Result {
    int code = dberr::None;
    QString description;
    QString detail; // the engine's own text: logged ("filtercontrol.engine"), never shown

    bool isError() const { return code != dberr::None; }
    bool ok() const { return !isError(); }
    static Result make(int code, const QString& description, const QString& detail = QString());
};

// Sets *out when the caller asked for the error; returns false so that callers can `return fail(...)`.
inline bool fail(Result* out, int code, const QString& description) {
    if (out)
        *out = Result::make(code, description);
    return false;
}
