// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// The program's version as it is shown and as it is stamped into the
// executable. The fields come from the project version (stelvo_version.h).
namespace stelvo {

// "Version " + major + "." + minor + "." + revision, each in plain decimal:
// versionText(1, 0, 12) is "Version 1.0.12".
QString versionText(int major, int minor, int revision);
// The same for this build's version fields.
QString versionText();

// The executable's file and product version: major, minor in at least two
// digits, revision in at least four: fileVersionText(1, 0, 1) is "1.00.0001".
QString fileVersionText(int major, int minor, int revision);
QString fileVersionText();

// Stamps the version information into the running application: application
// name (the program title) and version (fileVersionText()). Call once, after
// the QApplication is constructed.
//
// An executable that links this file (every one that shows the version does)
// carries the same information in its ELF section ".stelvo_version" as NUL-separated "Key=Value"
// strings (FileVersion, ProductVersion, ProductName); read it with
//   readelf -p .stelvo_version stelvo
void applyVersionInfo();

// The contents of that section as this build writes it.
QByteArray versionSection();

} // namespace stelvo
