#pragma once
// What the configure job asks of its view beyond messages and questions: the configuration form. The
// window shows TCfgForm with the wizard; a console or a test answers with values of its own.
#include "CfgRecord.h"
#include "JobView.h"

#include <memory>
#include <optional>

// The configuration form of one configure job: filled once, shown as often as the job asks with the
// operator's entries as they stand, gone (with the wizard it reaches) when the session is.
class CfgFormSession {
public:
    virtual ~CfgFormSession() = default;
    // Shows the form until the operator confirms it (the entries) or cancels (nothing).
    virtual std::optional<CfgFormValues> confirm() = 0;
    // Puts the edit texts back as the checks normalised them.
    virtual void keepTexts(const CfgFormValues& values) = 0;
};

class ConfigureView : public virtual JobView {
public:
    // Opens the form on `values` for the controller of `cfg`. The wizard the form reaches works on cfg's
    // range and timing, and starts by itself while cfg.CfgState is 0.
    virtual std::unique_ptr<CfgFormSession> openCfgForm(CfgContext& cfg, const CfgFormValues& values) = 0;
};
