#pragma once

#include <QString>

// Makes GB2312 the locale codec, so log files and CTP texts are written in it.
void useGb2312Locale();

// Points the settings file at <appDir>/setup.ini and applies its "server" override: a value
// that is not blank replaces the built-in platform address exactly as written.
void applySettingsFile(const QString &appDir);
