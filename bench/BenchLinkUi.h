#pragma once
#include "LinkUi.h"

#include <cstdio>

namespace bench {

// The link's boxes of a benchmark: printed on standard error with the program's name.
class StderrLinkUi : public LinkUi {
public:
    explicit StderrLinkUi(const char* program) : program_(program) {}
    void showOpenError(const QString& text) override {
        std::fprintf(stderr, "%s: open: %s\n", program_, qPrintable(text));
    }
    void showBadRequest(QObject*) override { std::fprintf(stderr, "%s: bad request\n", program_); }

private:
    const char* program_;
};

} // namespace bench
