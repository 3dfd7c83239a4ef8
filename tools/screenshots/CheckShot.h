#pragma once
// The README's pictures of the bench check: its window after a two-step check of the configured runs,
// and the first page of that check's report.
#include <QDir>

class TMainForm;

// The window is opened from the main window as F4 opens it; the report's PDF goes to workDir, its first
// page as a picture to out (pdftoppm from poppler-utils draws it).
bool ShootCheck(TMainForm& form, const QDir& out, const QDir& workDir);
