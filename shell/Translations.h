// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QTranslator>

class QApplication;

namespace stelvo {

// The English singular and plural of the texts that count something
// ("%n workstation(s) match"): the sources are English, but a text with a
// number has a form for each, which only a catalogue gives. Used when the
// user's language has no catalogue, or its catalogue lacks the text.
class EnglishPlurals : public QTranslator
{
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText,
                      const char* disambiguation = nullptr, int n = -1) const override;
    bool isEmpty() const override { return false; }
};

// Installs the translators for the user's language: Stelvo's own texts,
// embedded in the program, and Qt's (qtbase_<language>.qm from Qt's
// translations folder) for the buttons and dialogs Qt draws. The language is
// the default locale's (QLocale(): the system locale, from LANGUAGE, LC_ALL,
// LC_MESSAGES and LANG, unless QLocale::setDefault changed it); the locale
// need not be installed on the machine. A language without a translation
// keeps the English texts, with English plurals; nothing fails. Call once, right after the
// application is constructed and before any window is built. The
// translators are children of `app`.
void installTranslations(QApplication& app);

} // namespace stelvo
