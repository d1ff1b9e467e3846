// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DirectoryFactory.h"
#include "SVsplash.h"
#include "VersionInfo.h"
#include "stelvo_version.h"
#include "svWStation.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.stelvo.Stelvo"));
    stelvo::applyVersionInfo();

    stelvo::Controls controls;
    try {
        controls = stelvo::makeControls(stelvo::svWStation::kDesignContext);
    } catch (const stelvo::DirectoryError& error) {
        QMessageBox::critical(nullptr, QString::fromLatin1(stelvo::version::kTitle),
                              error.message());
        return 1;
    }
    stelvo::svWStation window(std::move(controls.directory), std::move(controls.session));
    window.MakeSplash = [] { return new stelvo::SVsplash; };
    window.Form_Load();
    return QApplication::exec();
}
