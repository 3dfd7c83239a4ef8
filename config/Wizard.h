#pragma once
// The pulse-value wizard's arithmetic: the recommended gas volume per output pulse and its allowed range
// from the maximum flow, the pulse and the pause, and the maximum flow recovered from a stored
// configuration. No widgets here.
#include <QString>
#include <QtGlobal>
#include <optional>

struct PulseVolume {
    double recommended = 0; // R, m3 per pulse, shown in VEdit
    float low = 0;          // VLow
    float high = 0;         // VHigh
};

// qmax in m3/h, pulse and pause in seconds, all as read from the edits (doubles). byFlow: the controller
// emits pulses by flow rate (software version 3); otherwise by volume, with the 20-second floor.
// Returns nothing when the maximum flow is so large that the base volume or a bound does not fit its
// type (double or float): the caller must then leave the range and the form untouched.
std::optional<PulseVolume> ComputePulseVolume(double qmax, double pulse, double pause, bool byFlow);

// The maximum flow that the wizard's by-flow rule would have turned into the stored volume per pulse:
// v / (nag + pause) * 120000 (times in hundredths of a second; the recommended value is three base
// volumes). Nothing when nag + pause is 0 or the result is not a finite number: the caller keeps QMax.
std::optional<double> ReconstructQMax(float v, quint8 nag, quint8 pause);

// "Объем газа на один импульс [0,2 - 2,0] :"
QString WizardRangeCaption(float low, float high);

// Texts of the wizard.
namespace WizardText {
inline const char16_t* const QMaxNotPositive = u"Значение максимального расхода должно быть больше нуля! ";
inline const char16_t* const NagRange = u"Значение длительности импульса должно быть от 0,1 до 2 секунд!";
inline const char16_t* const PauseRange = u"Значение длительности паузы должно быть от 0,1 до 1 секунды!";
inline const char16_t* const PeriodRange = u"Значение периода опроса должно быть от 1 до 10 секунд!";
inline const char16_t* const AnswerRange = u"Время ожидания ответа должно быть от 5 до 20 секунд!! ";
inline const char16_t* const QMaxTooLarge =
    u"Значение максимального расхода слишком велико: цена импульса не может быть рассчитана!";
inline const char16_t* const PeriodHintByFlow = u"Период посылок запросов к вычислителю. Для варианта выдачи "
                                                u"импульсов по расходу рекомендуется 3 секунды.";
inline const char16_t* const PeriodHintByVolume =
    u"Период запросов к вычислителю. Для варианта выдачи импульсов по объему рекомендуется 1 секунда.";
inline const char16_t* const VCaptionDesign = u"Объем газа на один импульс :";
inline const char16_t* const ChangeVDesign = u"Изменить значение";
inline const char16_t* const ChangeVDone = u"Подобрать значение";
} // namespace WizardText
