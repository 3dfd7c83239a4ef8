#pragma once
// The check's report ("Протокол проверки") for the customer to sign: who checked what where, the
// controller, the configuration used, the steps with their verdicts, the overall verdict, a chart of the
// expected pulses and lines for the signatures. Drawn with QPainter only. No widgets.
#include "CheckPlan.h"

class QPagedPaintDevice;

// Paints the report onto a paged device (a PDF writer, a printer), as many pages as it needs, in the
// device's page size and margins. False when painting could not start on it.
bool PaintCheckReport(const CheckRecord& record, QPagedPaintDevice& device);

// The report as a PDF document on A4.
QByteArray CheckReportPdf(const CheckRecord& record);

// Writes the report as a PDF at path whole or not at all: when the write fails, or the writer is killed,
// an earlier file at path stays as it was. False with *error set on failure.
bool WriteCheckReport(const CheckRecord& record, const QString& path, QString* error);
