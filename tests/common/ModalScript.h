#pragma once
// Drives the modal windows a test provokes. A ModalScript gives every window that shows the next scripted
// action (after two turns of the event loop, so that a dialog that opens another one from its activation
// is passed by) and records every message box. A window that appears after the script ran out is a test
// failure; it is counted and closed so that the test ends. OnNextModal and CloseNextBox act once on the
// next modal window, for tests that open one dialog at a time.
#include <QMessageBox>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

struct ShownBox {
    QString text, caption;
    QMessageBox::Icon icon;
};

class ModalScript : public QObject {
public:
    using Action = std::function<void(QWidget*)>;

    ModalScript();
    ~ModalScript() override;

    ModalScript& then(Action a);
    // A message box expected with this caption, text and icon, answered with OK.
    ModalScript& expectBox(const QString& caption, const QString& text, int icon);
    // The same, with only the start of the text checked.
    ModalScript& expectBoxStartingWith(const QString& caption, const QString& textStart, int icon);

    bool done() const { return actions_.empty(); }
    std::size_t pending() const { return actions_.size(); }
    int unexpected() const { return unexpected_; }
    QStringList unexpectedTexts() const { return unexpectedTexts_; }

    std::vector<ShownBox> boxes; // every message box, in order

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void schedule(int hops);
    void act();
    std::deque<Action> actions_;
    QSet<QWidget*> acted_;
    int unexpected_ = 0;
    QStringList unexpectedTexts_;
};

// Closes any dialog of the tool in the way that ends it (a wizard step shows again after a plain reject).
void ForceClose(QWidget* w);
// Clicks the message box's OK button (a click, so exec() returns QMessageBox::Ok).
void ClickOk(QWidget* box);
QString BoxText(QWidget* box);

// Runs `act` on the modal widget that is active once the event loop runs (a dialog or a message box).
void OnNextModal(std::function<void(QWidget*)> act);
// Closes the message box that is about to open with its OK button; its caption and text are kept.
struct BoxSeen {
    QString caption, text;
    bool seen = false;
};
void CloseNextBox(BoxSeen& seen);
