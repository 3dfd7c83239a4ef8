#pragma once
// The jobs' view on a console: the window's messages go to standard error, its questions are asked on
// the terminal (no without one), and the configuration form answers with values given beforehand.
#include "CfgView.h"

#include <functional>
#include <optional>

class ConsoleView : public HeadlessView, public virtual ConfigureView {
public:
    // What the form answers for the job's form values, once: nothing cancels the job.
    using FormAnswer =
        std::function<std::optional<CfgFormValues>(CfgContext& cfg, const CfgFormValues& form)>;
    FormAnswer formAnswer;
    // The job came back to the form after its checks refused the answer.
    bool formRefused = false;

    void tell(Notice kind, const QString& caption, const QString& text) override;
    bool ask(const QString& caption, const QString& text) override;
    std::unique_ptr<CfgFormSession> openCfgForm(CfgContext& cfg, const CfgFormValues& values) override;
};

// A question answered on the terminal ("да" or "нет"); false without a terminal on standard input.
bool AskOnTerminal(const QString& question);
// A line typed on the terminal after the prompt; nothing without a terminal or at the end of input.
std::optional<QString> ReadOnTerminal(const QString& prompt);
