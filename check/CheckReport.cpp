#include "CheckReport.h"

#include "CfgJson.h"
#include "CfgRecord.h"
#include "CheckReportRows.h"
#include "CheckSteps.h"
#include "FileReplace.h"
#include "LineSpeed.h"
#include "NumText.h"
#include "Version.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const QString kTitle = QStringLiteral("Протокол проверки");

QFont Font(double points, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// A cursor down the pages: each piece goes below the one before, on a new page when it does not fit.
// Every page carries the heading with the document number at its top and "Страница N из M" at its
// foot; M comes from a first pass that only counts the pages.
class Pages {
public:
    Pages(QPainter& painter, QPagedPaintDevice& device, const QString& heading, int total)
        : p_(painter), device_(device), unitsPerMm_(device.logicalDpiY() / 25.4), width_(device.width()),
          height_(device.height()), heading_(heading), total_(total) {
        frame();
    }
    QPainter& painter() { return p_; }
    double mm(double millimetres) const { return millimetres * unitsPerMm_; }
    double width() const { return width_; }
    double y() const { return y_; }
    int page() const { return page_; }
    void skip(double millimetres) { y_ += mm(millimetres); }
    void advance(double units) { y_ += units; }
    // A new page unless `units` still fit below (or the page is still empty).
    void room(double units) {
        if (y_ > top_ && y_ + units > bottom_) {
            device_.newPage();
            ++page_;
            frame();
        }
    }
    // Wrapped text across the width.
    void paragraph(const QString& text, const QFont& font, int align = Qt::AlignLeft) {
        p_.setFont(font);
        const QRectF box(0, 0, width_, height_);
        const QRectF need = p_.boundingRect(box, align | Qt::TextWordWrap, text);
        room(need.height());
        p_.drawText(QRectF(0, y_, width_, need.height()), align | Qt::TextWordWrap, text);
        y_ += need.height() + mm(1);
    }

private:
    void frame() {
        const QFont font = Font(8);
        p_.setFont(font);
        const double line = QFontMetricsF(font, &device_).height();
        p_.drawText(QRectF(0, 0, width_, line), Qt::AlignLeft, heading_);
        if (total_ > 0)
            p_.drawText(QRectF(0, 0, width_, line), Qt::AlignRight,
                        QStringLiteral("Страница %1 из %2").arg(page_).arg(total_));
        p_.drawLine(QPointF(0, line + mm(0.5)), QPointF(width_, line + mm(0.5)));
        top_ = y_ = line + mm(4);
        bottom_ = height_;
    }

    QPainter& p_;
    QPagedPaintDevice& device_;
    double unitsPerMm_;
    double width_, height_;
    QString heading_;
    int total_;
    int page_ = 1;
    double y_ = 0, top_ = 0, bottom_ = 0;
};

// Widths as shares of the page width; the header row comes again on every page the table runs onto.
void DrawTable(Pages& pages, const QStringList& headers, const QList<QStringList>& rows,
               const QList<double>& shares) {
    QPainter& p = pages.painter();
    const double pad = pages.mm(0.8);
    const auto rowHeight = [&](const QStringList& cells) {
        double h = 0;
        double x = 0;
        for (int c = 0; c < cells.size(); ++c) {
            const double w = shares[c] * pages.width();
            h = std::max(h,
                         p.boundingRect(QRectF(x, 0, w - 2 * pad, 1e6), Qt::TextWordWrap, cells[c]).height());
            x += w;
        }
        return h + 2 * pad;
    };
    const auto drawRow = [&](const QStringList& cells, const QFont& font) {
        p.setFont(font);
        const double h = rowHeight(cells);
        double x = 0;
        for (int c = 0; c < cells.size(); ++c) {
            const double w = shares[c] * pages.width();
            p.drawRect(QRectF(x, pages.y(), w, h));
            p.drawText(QRectF(x + pad, pages.y() + pad, w - 2 * pad, h - 2 * pad),
                       Qt::TextWordWrap | Qt::AlignVCenter | (c == 0 ? Qt::AlignLeft : Qt::AlignHCenter),
                       cells[c]);
            x += w;
        }
        pages.advance(h);
    };
    const QFont head = Font(8.5, true);
    const QFont body = Font(8.5);
    p.setFont(head);
    pages.room(rowHeight(headers) + pages.mm(10));
    drawRow(headers, head);
    for (const QStringList& row : rows) {
        p.setFont(body);
        const double before = pages.y();
        pages.room(rowHeight(row));
        if (pages.y() < before) // a new page
            drawRow(headers, head);
        drawRow(row, body);
    }
    pages.skip(2);
}

// The axis' end for values up to `top`: four ticks of 1, 2 or 5 times a power of ten, whole labels.
double AxisEnd(double top) {
    const double quarter = std::max(top, 1.0) / 4;
    const double magnitude = std::pow(10.0, std::floor(std::log10(quarter)));
    for (const double f : {1.0, 2.0, 5.0, 10.0})
        if (f * magnitude >= quarter)
            return 4 * f * magnitude;
    return 4 * 10 * magnitude;
}

// The check's whole time in seconds and its expected pulses: the chart's axes end there.
std::pair<double, qint64> ChartTotals(const CheckRecord& record) {
    double seconds = 0;
    qint64 pulses = 0;
    for (const CheckStepResult& r : record.steps) {
        seconds += r.durationS;
        pulses += r.expectedPulses;
    }
    return {seconds, pulses};
}

// The expected pulses of the whole check as one staircase over its time, the steps' starts marked.
void DrawChart(Pages& pages, const CheckRecord& record) {
    QPainter& p = pages.painter();
    const double h = pages.mm(55);
    pages.room(h + pages.mm(8));
    const QRectF plot(pages.mm(18), pages.y() + pages.mm(6), pages.width() - pages.mm(22), h - pages.mm(16));
    const auto [totalS, totalPulses] = ChartTotals(record);
    const double maxX = AxisEnd(totalS);
    const double maxY = AxisEnd(double(totalPulses));
    const auto at = [&](double t, double n) {
        return QPointF(plot.left() + t / maxX * plot.width(), plot.bottom() - n / maxY * plot.height());
    };
    p.setFont(Font(8));
    p.drawText(QRectF(0, pages.y(), pages.width(), pages.mm(5)), Qt::AlignLeft,
               QStringLiteral("Ожидаемые импульсы с начала проверки (над графиком номера шагов)"));
    p.drawRect(plot);
    for (int i = 0; i <= 4; ++i) {
        const QPointF y = at(0, maxY * i / 4), x = at(maxX * i / 4, 0);
        p.drawText(QRectF(0, y.y() - pages.mm(2), plot.left() - pages.mm(1), pages.mm(4)),
                   Qt::AlignRight | Qt::AlignVCenter, FormatNumber(maxY * i / 4, maxY < 4 ? 1 : 0));
        p.drawText(QRectF(x.x() - pages.mm(10), plot.bottom() + pages.mm(1), pages.mm(20), pages.mm(4)),
                   Qt::AlignHCenter, FormatNumber(maxX * i / 4, maxX < 4 ? 1 : 0));
    }
    p.drawText(QRectF(plot.left(), plot.bottom() + pages.mm(5), plot.width(), pages.mm(4)), Qt::AlignHCenter,
               QStringLiteral("время, с"));
    QPainterPath line(at(0, 0));
    double offsetS = 0;
    double base = 0;
    // Every step's start is marked; its number only where it stands clear of the last number written, so
    // that forty short steps do not run their numbers into one another.
    double labelledX = -1e9;
    for (int s = 0; s < record.steps.size(); ++s) {
        const CheckStepResult& r = record.steps[s];
        p.setPen(QPen(Qt::gray, 0, Qt::DashLine));
        p.drawLine(at(offsetS, 0), at(offsetS, maxY));
        p.setPen(QPen(Qt::black));
        const QPointF top = at(offsetS, maxY);
        if (top.x() - labelledX >= pages.mm(6)) {
            labelledX = top.x();
            p.drawText(QRectF(top + QPointF(pages.mm(0.5), pages.mm(0.5)), QSizeF(pages.mm(8), pages.mm(4))),
                       Qt::AlignLeft, QString::number(s + 1));
        }
        double level = base;
        for (const QPointF& point : r.curve) {
            line.lineTo(at(offsetS + point.x(), level));
            level = base + point.y();
            line.lineTo(at(offsetS + point.x(), level));
        }
        offsetS += r.durationS;
        line.lineTo(at(offsetS, level));
        base = level;
    }
    p.setPen(QPen(Qt::darkBlue, pages.mm(0.4)));
    p.drawPath(line);
    p.setPen(QPen(Qt::black));
    pages.advance(h);
}

void DrawSignatures(Pages& pages, const CheckPlan& plan) {
    pages.room(pages.mm(34));
    pages.skip(4);
    const QString blank = QStringLiteral("____________________");
    pages.paragraph(QStringLiteral("Исполнитель: ") + blank + QStringLiteral(" / ") +
                        (plan.engineer.isEmpty() ? blank : plan.engineer) + QStringLiteral(" /"),
                    Font(10));
    pages.skip(4);
    pages.paragraph(QStringLiteral("Представитель заказчика: ") + blank + QStringLiteral(" / ") + blank +
                        QStringLiteral(" /"),
                    Font(10));
    pages.skip(4);
    pages.paragraph(QStringLiteral("Дата: «____» ________________ 20____ г."), Font(10));
}

// Who checked what where, with which tool on which port, and the controller as read.
void DrawFirstPart(Pages& pages, const CheckRecord& record) {
    pages.paragraph(kTitle + QStringLiteral(" № ") + DocumentNumber(record), Font(16, true),
                    Qt::AlignHCenter);
    pages.paragraph(QStringLiteral("выхода импульсов силового контроллера RMZ-47 на стенде"), Font(10),
                    Qt::AlignHCenter);
    pages.skip(3);
    const QFont text = Font(10);
    const QString ended =
        record.ended.isValid() ? QStringLiteral(" – ") + LocalMomentText(record.ended) : QString();
    pages.paragraph(QStringLiteral("Дата: ") + LocalMomentText(record.started) + ended, text);
    pages.paragraph(QStringLiteral("Площадка: ") + record.plan.site, text);
    pages.paragraph(QStringLiteral("Объект: ") + record.plan.object, text);
    pages.paragraph(QStringLiteral("Исполнитель: ") + record.plan.engineer, text);
    const QString program = record.program.isEmpty() ? QStringLiteral(RMZ47_VERSION) : record.program;
    QString tool = QStringLiteral("Программа: rmz47 ") + program;
    if (!record.port.isEmpty())
        tool +=
            QStringLiteral("; порт: ") + record.port +
            (record.device.isEmpty() ? QString() : QStringLiteral(" (") + record.device + QLatin1Char(')'));
    pages.paragraph(tool + QLatin1Char('.'), text);
    pages.skip(2);
    pages.paragraph(ControllerText(record.controller), text);
    const QList<QStringList> configuration = ConfigurationRows(record);
    if (configuration.isEmpty()) {
        for (const QString& line : PlanConfigurationLines(record.plan))
            pages.paragraph(line, text);
    } else {
        pages.paragraph(QStringLiteral("Конфигурация контроллера, прочитанная перед проверкой:"), text);
        DrawTable(pages, ConfigurationHeaders(), configuration, {0.40, 0.30, 0.30});
    }
    pages.paragraph(ToleranceText(record.plan.tolerance), text);
    pages.skip(2);
}

// The report from its first page to its last; the number of pages it took.
int Paint(const CheckRecord& record, QPagedPaintDevice& device, int total) {
    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    Pages pages(painter, device, kTitle + QStringLiteral(" № ") + DocumentNumber(record), total);
    DrawFirstPart(pages, record);
    DrawTable(pages, StepHeaders(), StepRows(record), StepColumnShares());
    pages.paragraph(OverallText(record), Font(12, true));
    pages.skip(3);
    DrawChart(pages, record);
    DrawSignatures(pages, record.plan);
    return painter.end() ? pages.page() : 0;
}

} // namespace

bool PaintCheckReport(const CheckRecord& record, QPagedPaintDevice& device) {
    // The pages are counted on a document of the same page and resolution that nobody keeps.
    QBuffer scratch;
    scratch.open(QIODevice::WriteOnly);
    QPdfWriter counter(&scratch);
    counter.setPageLayout(device.pageLayout());
    counter.setResolution(device.logicalDpiY());
    const int total = Paint(record, counter, 0);
    return total > 0 && Paint(record, device, total) > 0;
}

QByteArray CheckReportPdf(const CheckRecord& record) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(20, 15, 15, 15), QPageLayout::Millimeter));
    writer.setResolution(300);
    writer.setTitle(kTitle);
    writer.setCreator(QStringLiteral("rmz47 ") + QStringLiteral(RMZ47_VERSION));
    if (!PaintCheckReport(record, writer))
        return {};
    return bytes;
}

bool WriteCheckReport(const CheckRecord& record, const QString& path, QString* error) {
    // Drawn in memory first: the file only ever sees the finished document.
    const QByteArray pdf = CheckReportPdf(record);
    if (pdf.isEmpty()) {
        if (error)
            *error = QStringLiteral("протокол не удалось построить");
        return false;
    }
    return WriteWholeFile(path, pdf, error);
}
