// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "Translations.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace stelvo {

namespace {

// Where qt_add_translations puts the compiled catalogues among the resources.
const char* const kOwnFolder = ":/i18n";

void install(QApplication& app, const QString& name, const QString& folder)
{
    auto* translator = new QTranslator(&app);
    // Tries each of the locale's UI languages in turn (de_DE, then de).
    if (translator->load(QLocale(), name, QStringLiteral("_"), folder))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace

void installTranslations(QApplication& app)
{
    install(app, QStringLiteral("stelvo"), QString::fromLatin1(kOwnFolder));
    install(app, QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

} // namespace stelvo
