// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "Translations.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <iterator>

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

QString EnglishPlurals::translate(const char* context, const char* sourceText,
                                  const char* disambiguation, int n) const
{
    struct Plural
    {
        const char* context;
        const char* source;
        const char* one;
        const char* other;
    };
    // clang-format off
    static const Plural kPlurals[] = {
        {"stelvo::FindWindow", "%n workstation(s) match", "%n workstation matches", "%n workstations match"},
    };
    // clang-format on
    if (n < 0 || (disambiguation != nullptr && *disambiguation != '\0'))
        return {};
    for (const Plural& plural : kPlurals) {
        if (qstrcmp(context, plural.context) == 0 && qstrcmp(sourceText, plural.source) == 0)
            return QString::fromLatin1(n == 1 ? plural.one : plural.other);
    }
    return {};
}

void installTranslations(QApplication& app)
{
    // Installed first, so searched last: any language's own catalogue wins.
    QCoreApplication::installTranslator(new EnglishPlurals(&app));
    install(app, QStringLiteral("stelvo"), QString::fromLatin1(kOwnFolder));
    install(app, QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

} // namespace stelvo
