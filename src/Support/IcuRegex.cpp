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

IcuRegex::Matches IcuRegex::findAccepted(const QString& text, const std::function<bool(const Range&)>& accept,
                                         std::chrono::milliseconds budget) const {
    return search(text, budget, false, &accept);
}

std::optional<IcuRegex::Range> IcuRegex::firstMatch(const QString& text, std::chrono::milliseconds budget) const {
    Matches m = search(text, budget, true);
    if (m.ranges.empty()) return std::nullopt;
    return m.ranges.front();
}

IcuRegex::Matches IcuRegex::search(const QString& text, std::chrono::milliseconds budget, bool firstOnly,
                                   const std::function<bool(const Range&)>* accept) const {
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

    // With a check: the longest match from `start` that ends at or before `limit` and passes it.
    // The region only bounds where a match may end; boundaries and look-arounds see past it.
    const auto acceptedFrom = [&](int32_t start, int32_t limit) -> std::optional<Range> {
        while (limit > start && U_SUCCESS(status)) {
            matcher->region(start, limit, status);
            matcher->useTransparentBounds(true);
            matcher->useAnchoringBounds(false);
            if (!matcher->lookingAt(status) || U_FAILURE(status)) break;
            const int32_t end = matcher->end(status);
            if (U_FAILURE(status) || end <= start) break;
            const Range shorter{start, end - start};
            if ((*accept)(shorter)) return shorter;
            limit = end - 1;
        }
        return std::nullopt;
    };
    int64_t next = 0;
    while (accept && U_SUCCESS(status) && next <= input.length()) {
        if (!matcher->find(next, status) || U_FAILURE(status)) break;
        const int32_t start = matcher->start(status);
        const int32_t end = matcher->end(status);
        if (U_FAILURE(status)) break;
        const Range match{start, end - start};
        if ((*accept)(match)) {
            result.ranges.push_back(match);
            next = end > start ? end : end + 1;
        } else {
            // What follows the rejected match's start is searched again, so that a shorter match
            // taken here cannot hide one that passes from a later start.
            if (const std::optional<Range> shorter = acceptedFrom(start, end - 1)) result.ranges.push_back(*shorter);
            next = start + 1;
        }
        if (Clock::now() >= deadline.end && U_SUCCESS(status)) status = U_REGEX_STOPPED_BY_CALLER;
    }

    while (!accept && U_SUCCESS(status)) {
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
