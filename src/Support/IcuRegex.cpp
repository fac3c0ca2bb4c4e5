#include "Support/IcuRegex.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <unicode/utypes.h>

namespace Support {

namespace {

using Clock = std::chrono::steady_clock;

// ICU's own step limit, a backstop behind the wall-clock budget checked by the callback.
constexpr int32_t kTimeLimitSteps = 2000;

struct Deadline {
    Clock::time_point end;
};

// Called by ICU at intervals during a long match; returning false stops the match.
UBool U_CALLCONV keepMatching(const void* context, int32_t /*steps*/) {
    const auto* deadline = static_cast<const Deadline*>(context);
    return Clock::now() < deadline->end;
}

icu::UnicodeString aliasOf(const QString& text) {
    // A read-only alias: no copy, and offsets stay UTF-16 code units.
    return icu::UnicodeString(false, reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()));
}

} // namespace

std::optional<IcuRegex> IcuRegex::compile(const QString& pattern, CompileError* error) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(aliasOf(pattern), 0, parseError, status));
    if (U_FAILURE(status) || !compiled) {
        if (error) {
            error->message = QString::fromLatin1(u_errorName(status));
            error->offset = parseError.offset >= 0 ? parseError.offset : -1;
        }
        return std::nullopt;
    }
    return IcuRegex(pattern, std::shared_ptr<const icu::RegexPattern>(std::move(compiled)));
}

IcuRegex::Matches IcuRegex::findAll(const QString& text, std::chrono::milliseconds budget) const {
    return search(text, budget, false);
}

std::optional<IcuRegex::Range> IcuRegex::firstMatch(const QString& text, std::chrono::milliseconds budget) const {
    Matches m = search(text, budget, true);
    if (m.ranges.empty()) return std::nullopt;
    return m.ranges.front();
}

IcuRegex::Matches IcuRegex::search(const QString& text, std::chrono::milliseconds budget, bool firstOnly) const {
    Matches result;
    const icu::UnicodeString input = aliasOf(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(compiled_->matcher(input, status));
    if (U_FAILURE(status) || !matcher) {
        result.status = Status::failed;
        result.error = QString::fromLatin1(u_errorName(status));
        return result;
    }

    Deadline deadline{Clock::now() + budget};
    matcher->setTimeLimit(kTimeLimitSteps, status);
    matcher->setStackLimit(kStackLimitBytes, status);
    matcher->setMatchCallback(keepMatching, &deadline, status);

    while (U_SUCCESS(status)) {
        if (!matcher->find(status)) break;
        if (U_FAILURE(status)) break;
        const int32_t start = matcher->start(status);
        const int32_t end = matcher->end(status);
        if (U_FAILURE(status)) break;
        result.ranges.push_back(Range{start, end - start});
        if (firstOnly) break;
        if (Clock::now() >= deadline.end) {
            status = U_REGEX_STOPPED_BY_CALLER;
            break;
        }
    }

    if (U_FAILURE(status)) {
        result.error = QString::fromLatin1(u_errorName(status));
        switch (status) {
        case U_REGEX_TIME_OUT:
        case U_REGEX_STOPPED_BY_CALLER:
            result.status = Status::timedOut;
            break;
        case U_REGEX_STACK_OVERFLOW:
            result.status = Status::tooDeep;
            break;
        default:
            result.status = Status::failed;
            break;
        }
    }
    return result;
}

} // namespace Support
