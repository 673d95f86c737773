// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The error list every stage of the converter appends to: the first failure stops the
// conversion, so "failed" means "the list is not empty".
#include "rungpad/compiler/errors.h"

#include <algorithm>
#include <vector>

namespace rungpad {

class ErrorSink {
public:
    explicit ErrorSink(std::vector<ConvertError>& errors) : m_errors(errors) {}
    // Always false, so a stage can `return fail(...)`.
    bool fail(int code, int line, int detail = 0)
    {
        m_errors.push_back({code, std::max(0, line), detail});
        return false;
    }
    bool failed() const { return !m_errors.empty(); }
    const ConvertError& last() const { return m_errors.back(); }

private:
    std::vector<ConvertError>& m_errors;
};

}  // namespace rungpad
