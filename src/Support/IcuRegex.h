#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <unicode/uversion.h>

namespace U_ICU_NAMESPACE {
class RegexPattern;
}

namespace Support {

// An ICU regular expression compiled with no flags, matched with bounded time and memory.
// Offsets are UTF-16 code units, the same as QString's.
class IcuRegex {
public:
    // Default budget for one findAll over one text.
    static constexpr std::chrono::milliseconds kDefaultBudget{250};
    // Backtracking memory ICU may use per match, in bytes.
    static constexpr int kStackLimitBytes = 4 * 1024 * 1024;

    struct CompileError {
        QString message; // ICU's error name, e.g. "U_REGEX_MISSING_CLOSE_PAREN"
        int offset = -1; // UTF-16 offset in the pattern where ICU stopped, when known
    };

    struct Range {
        qsizetype start = 0;
        qsizetype length = 0;
        friend bool operator==(const Range&, const Range&) = default;
    };

    enum class Status {
        completed, // every match was found
        timedOut,  // the time budget ran out; `ranges` holds the matches found before
        tooDeep,   // the backtracking memory limit was reached
        failed,    // any other ICU error (see `error`)
    };

    struct Matches {
        std::vector<Range> ranges;
        Status status = Status::completed;
        QString error; // ICU's error name when status is not completed
    };

    // Compiles `pattern` with no flags. On failure gives nothing and fills `error` when given.
    static std::optional<IcuRegex> compile(const QString& pattern, CompileError* error = nullptr);

    const QString& pattern() const { return source_; }

    // Every non-overlapping match in `text`, left to right; an empty match moves the search on
    // by one position. Stops when the budget for the whole call is spent.
    Matches findAll(const QString& text, std::chrono::milliseconds budget = kDefaultBudget) const;

    // Like findAll, for matches that must also pass a check of their own: a match the check
    // rejects hides nothing. The longest shorter match from the same start that passes is taken
    // instead, if any, and the search goes on from the position after the rejected match's start,
    // so a match that passes and starts inside it is found too (the two may overlap). Word
    // boundaries and look-arounds always see the whole text.
    Matches findAccepted(const QString& text, const std::function<bool(const Range&)>& accept,
                         std::chrono::milliseconds budget = kDefaultBudget) const;

    // The first match, or nothing (also when the budget runs out).
    std::optional<Range> firstMatch(const QString& text, std::chrono::milliseconds budget = kDefaultBudget) const;

private:
    IcuRegex(QString source, std::shared_ptr<const U_ICU_NAMESPACE::RegexPattern> compiled)
        : source_(std::move(source)), compiled_(std::move(compiled)) {}

    Matches search(const QString& text, std::chrono::milliseconds budget, bool firstOnly,
                   const std::function<bool(const Range&)>* accept = nullptr) const;

    QString source_;
    std::shared_ptr<const U_ICU_NAMESPACE::RegexPattern> compiled_; // immutable, shared between threads
};

} // namespace Support
