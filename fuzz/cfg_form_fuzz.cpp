// Arbitrary operator texts through the configuration form's checks: either a UserError with one of the
// known messages, or a record whose every field lies in its accepted range.
//
// Input: a locale byte and a range byte at the back; the five texts (volume, pulse, pause, period,
// answer time-out) from the front, separated by newlines.
#include "CfgRecord.h"
#include "FuzzSupport.h"
#include "UserError.h"

#include <QLocale>
#include <QStringList>
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QLocale russian(QLocale::Russian, QLocale::Russia);
    FuzzedDataProvider in(data, size);
    QLocale::setDefault(in.ConsumeBool() ? russian : QLocale::c());
    CfgContext cfg;
    cfg.VRangeSet = in.ConsumeBool();
    cfg.VLow = 0.5f;
    cfg.VHigh = 150.0f;

    const std::string rest = in.ConsumeRemainingBytesAsString();
    QStringList texts = QString::fromUtf8(rest.data(), qsizetype(rest.size())).split(u'\n');
    while (texts.size() < 5)
        texts << QStringLiteral("1");
    CfgFormValues form;
    form.v = texts[0];
    form.nag = texts[1];
    form.pause = texts[2];
    form.period = texts[3];
    form.answer = texts[4];

    try {
        FormToRecordChecked(cfg, form);
    } catch (const UserError& e) {
        // The number parser's message, a timed value's row, or one of the volume's two.
        const QString& m = e.message();
        Require(m.endsWith(QStringLiteral("' is not a valid floating point value")) ||
                m.startsWith(QStringLiteral("Значение цены импульса ")) ||
                std::any_of(kTimedRanges.begin(), kTimedRanges.end(),
                            [&m](const SecondsRange& r) { return m == QString::fromUtf16(r.message); }));
        return 0;
    }
    const CfgRecord& r = cfg.record;
    Require(std::isfinite(r.V) && r.V > 0);
    Require(!cfg.VRangeSet || (r.V >= cfg.VLow && r.V <= cfg.VHigh));
    Require(r.Nag >= 10 && r.Nag <= 200);
    Require(r.Pause >= 10 && r.Pause <= 100);
    Require(r.Period >= 100 && r.Period <= 1000);
    Require(r.Answer >= 500 && r.Answer <= 2000);
    // The normalised texts hold no separator of the other kind.
    const QChar other = QLocale().decimalPoint() == QLatin1String(",") ? u'.' : u',';
    for (const QString* t : {&form.v, &form.nag, &form.pause, &form.period, &form.answer})
        Require(!t->contains(other));
    return 0;
}
