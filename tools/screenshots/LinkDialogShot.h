#pragma once
#include <QString>

// Saves a picture of the link dialog, COM1 on a USB adapter, to `file`.
bool ShootLinkDialog(const QString& file);
