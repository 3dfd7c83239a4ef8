#include "ConsoleView.h"

#include "CliOptions.h"
#include "VersionText.h"

#include <cstdio>
#include <unistd.h>

namespace {

class AnsweredForm : public CfgFormSession {
public:
    AnsweredForm(std::optional<CfgFormValues> values, bool& refused)
        : values_(std::move(values)), refused_(refused) {}
    std::optional<CfgFormValues> confirm() override {
        // Asked again only after the job refused the answer: the same values would be refused again.
        if (asked_) {
            refused_ = true;
            return std::nullopt;
        }
        asked_ = true;
        return values_;
    }
    void keepTexts(const CfgFormValues&) override {}

private:
    std::optional<CfgFormValues> values_;
    bool& refused_;
    bool asked_ = false;
};

} // namespace

std::optional<QString> ReadOnTerminal(const QString& prompt) {
    if (!isatty(STDIN_FILENO))
        return std::nullopt;
    PrintError(prompt);
    char line[256];
    if (!std::fgets(line, sizeof line, stdin))
        return std::nullopt;
    return QString::fromLocal8Bit(line).trimmed();
}

bool AskOnTerminal(const QString& question) {
    const std::optional<QString> answer = ReadOnTerminal(question + QStringLiteral(" (да/нет) "));
    if (!answer)
        return false;
    const QString a = answer->toLower();
    return a == QStringLiteral("да") || a == QStringLiteral("д") || a == QLatin1String("y") ||
           a == QLatin1String("yes");
}

// The box's caption is its title ("Сообщение", "Ошибка!"); on a console the text says it all.
void ConsoleView::tell(Notice kind, const QString&, const QString& text) {
    // A script reads errors; --quiet leaves it nothing else.
    if (kind != Notice::Error && CurrentOutputMode().quiet)
        return;
    // The window's box with the software version is no news on a console: read prints the version, and
    // a successful write is not worth a line on standard error.
    if (kind == Notice::Information &&
        text == VersionMessage(quint8(text.section(QLatin1Char(' '), 2, 2).toUInt())))
        return;
    PrintError(text + QLatin1Char('\n'));
}

bool ConsoleView::ask(const QString&, const QString& text) {
    return AskOnTerminal(text);
}

std::unique_ptr<CfgFormSession> ConsoleView::openCfgForm(CfgContext& cfg, const CfgFormValues& values) {
    return std::make_unique<AnsweredForm>(formAnswer ? formAnswer(cfg, values) : std::nullopt, formRefused);
}
