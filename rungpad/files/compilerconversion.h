// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The document's LadderCompiler behind the interface the file commands use.
#include "rungpad/compiler/laddercompiler.h"
#include "rungpad/files/laddercommands.h"

namespace rungpad {

class CompilerConversion : public LadderConversion {
public:
    explicit CompilerConversion(int language) : language_(language) {}

    bool convert(LadderDocument& document, QString* errorLine) override;
    void precheck(LadderDocument& document) override;
    const ConversionOutput& output() const override { return output_; }

    LadderCompiler& compiler() { return compiler_; }
    // The editor switches language while documents stay open; error lines follow it.
    void setLanguage(int language) { language_ = language; }

private:
    int language_;
    LadderCompiler compiler_;
    ConversionOutput output_;
};

}  // namespace rungpad
