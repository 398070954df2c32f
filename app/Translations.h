#pragma once

#include <QLocale>
#include <QString>
#include <QTranslator>

namespace shoebox {

// Shoebox's own translation and Qt's (the texts of its dialogs and
// buttons) for one language. They are loaded before the application object
// exists, so that the command line speaks the language too.
class Translations {
public:
    // For `locale`: by default the user's language, from the environment
    // (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), whether or not the system has
    // that locale installed. English needs no translation.
    explicit Translations(const QLocale& locale = QLocale::system());
    // Takes them out of the application again.
    ~Translations();
    Translations(const Translations&) = delete;
    Translations& operator=(const Translations&) = delete;

    // Shoebox's translation of `source` in `context`, installed or not;
    // `source` itself where there is none.
    QString text(const char* context, const char* source) const;
    // From now on every tr() of the application speaks the language.
    void install();

    // Whether Shoebox has a translation into the language.
    bool translated() const { return !own_.isEmpty(); }

    // Where Shoebox's translations are: share/shoebox/translations, found
    // from the program's own folder as in the build tree, so any install
    // prefix works.
    static QString folder();

private:
    QTranslator own_;
    QTranslator qt_;
    bool installed_ = false;
};

} // namespace shoebox
