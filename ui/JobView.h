#pragma once
// What the jobs (configuring the controller, imitating its flow computers) need of the main window. The
// jobs drive the window only through this interface, so they run the same against the real window, a
// recording fake in tests, a console, or no window at all. What a job asks beyond it (the configuration
// form, the imitation settings) is declared beside the job (CfgView.h, ImitView.h).
#include <QString>

// How much a message to the operator weighs; the window shows it as the box's icon.
enum class Notice { Information, Warning, Error };

// The lines of the imitation panel about the link itself.
enum class LinkNotice {
    Port,  // the port lost (with the system's reason) and back
    Speed, // the adapter runs at another speed than the one asked for
};

// The three texts of one imitated run's panel.
struct RunDisplay {
    QString flow;    // "Расход = … м3/с"
    QString answers; // "Ответов : …"
    QString volume;  // "Объем газа за сегодня : …"
};

class JobView {
public:
    virtual ~JobView() = default;

    // A message, told where the job found it; the job goes on once the operator has seen it.
    virtual void tell(Notice kind, const QString& caption, const QString& text) = 0;
    // A question the operator answers with yes (true) or no; no is the answer that costs nothing.
    virtual bool ask(const QString& caption, const QString& text) = 0;
    // The close button stops the running imitation (true) or closes the window (false).
    virtual void setStopMode(bool stop) = 0;
    // The status panels: address, port, RTS mode and line speed.
    virtual void showLinkStatus(int portNumber, int rtsControl, int baud) = 0;
    // The line-speed panel alone (the imitation runs at its own speed).
    virtual void showLineSpeed(int baud) = 0;
    // Uncovers the imitation panel with `runs` run boxes (1..3), or covers it again (0).
    virtual void showImitPanel(int runs) = 0;
    // The texts of run `slot` (0..2).
    virtual void showRun(int slot, const RunDisplay& texts) = 0;
    // What the controller's pulse output should show for the imitated runs; warning: it cannot keep up.
    virtual void showOutputPulses(const QString& text, bool warning) = 0;
    // The device behind the port panel, told where the panel's text has no room (its tooltip); empty
    // when there is no port.
    virtual void showPortDevice(const QString& text) = 0;
    // A line of the imitation panel about the link; empty text clears it.
    virtual void showLinkNotice(LinkNotice which, const QString& text) = 0;
    // The step of a job that is on the line now ("чтение таблицы 4, попытка 2 из 5"), for the operator
    // who waits; empty once the line is quiet again. The window keeps its job buttons off meanwhile, so
    // that no second job overwrites the shared frame buffers. Nothing to show by default.
    virtual void showProgress(const QString& step) { (void)step; }
};

// A job without a window (benchmarks, headless use): shows nothing and answers every question no.
class HeadlessView : public virtual JobView {
public:
    void tell(Notice, const QString&, const QString&) override {}
    bool ask(const QString&, const QString&) override { return false; }
    void setStopMode(bool) override {}
    void showLinkStatus(int, int, int) override {}
    void showLineSpeed(int) override {}
    void showImitPanel(int) override {}
    void showRun(int, const RunDisplay&) override {}
    void showOutputPulses(const QString&, bool) override {}
    void showPortDevice(const QString&) override {}
    void showLinkNotice(LinkNotice, const QString&) override {}
};

// A view that passes everything on to another: the base of a view that watches a job on its way to the
// window, overriding only what it watches. Virtual, so that a window's view of a job of its own (the
// bench check's) can pass the run panels on to the main window beside the questions it answers itself.
class RelayView : public virtual JobView {
public:
    explicit RelayView(JobView& window) : window_(window) {}
    void tell(Notice kind, const QString& caption, const QString& text) override {
        window_.tell(kind, caption, text);
    }
    bool ask(const QString& caption, const QString& text) override { return window_.ask(caption, text); }
    void setStopMode(bool stop) override { window_.setStopMode(stop); }
    void showLinkStatus(int portNumber, int rtsControl, int baud) override {
        window_.showLinkStatus(portNumber, rtsControl, baud);
    }
    void showLineSpeed(int baud) override { window_.showLineSpeed(baud); }
    void showImitPanel(int runs) override { window_.showImitPanel(runs); }
    void showRun(int slot, const RunDisplay& texts) override { window_.showRun(slot, texts); }
    void showOutputPulses(const QString& text, bool warning) override {
        window_.showOutputPulses(text, warning);
    }
    void showPortDevice(const QString& text) override { window_.showPortDevice(text); }
    void showLinkNotice(LinkNotice which, const QString& text) override {
        window_.showLinkNotice(which, text);
    }
    void showProgress(const QString& step) override { window_.showProgress(step); }

protected:
    JobView& window_;
};
