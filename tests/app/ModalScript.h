#pragma once
// Answers the modal windows a test provokes, one step per window in the order they appear. A window that
// appears with no step left is closed and counted, so a test never hangs on an unexpected box.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>

class QMessageBox;
class QWidget;

class ModalScript : public QObject {
public:
    using Step = std::function<void(QWidget* modal)>;
    ModalScript();
    ~ModalScript() override;

    ModalScript& then(Step step);
    // A message box expected with this caption, text and icon, answered with OK.
    ModalScript& expectBox(const QString& caption, const QString& text, int icon);
    // The same, with only the start of the text checked.
    ModalScript& expectBoxStartingWith(const QString& caption, const QString& textStart, int icon);

    bool done() const { return steps_.empty(); }
    int unexpected() const { return unexpected_; }
    QStringList unexpectedTexts() const { return unexpectedTexts_; }

private:
    void poll();
    std::deque<Step> steps_;
    QTimer timer_;
    QPointer<QWidget> last_;
    int unexpected_ = 0;
    QStringList unexpectedTexts_;
};

// Clicks the message box's OK button (a click, so exec() returns QMessageBox::Ok).
void ClickOk(QWidget* box);
QString BoxText(QWidget* box);
