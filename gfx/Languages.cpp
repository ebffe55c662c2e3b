#include "Languages.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QTranslator>

#include <cstdlib>
#include <memory>

namespace {

// A locale name's language: "en_US.UTF-8" -> "en", "zh" -> "zh", "sr@latin" -> "sr", and the tag
// form some set in LANGUAGE, "zh-Hans" -> "zh".
QByteArray LanguagePart(const QByteArray& locale) {
    qsizetype end = 0;
    while (end < locale.size() && locale[end] != '_' && locale[end] != '.' && locale[end] != '@' &&
           locale[end] != '-')
        ++end;
    return locale.left(end);
}

bool BareLocale(const QByteArray& locale) {
    return locale.isEmpty() || locale == "C" || locale == "POSIX" || locale.startsWith("C.");
}

TInterfaceLanguage OfLanguage(const QByteArray& language) {
    return language == "zh" ? TInterfaceLanguage::Chinese : TInterfaceLanguage::English;
}

QByteArray ProcessEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? QByteArray(value) : QByteArray();
}

// The English catalogue, loaded once from the resources on first use and kept: TextIn reads it
// without installing it.
struct TCatalogues {
    QMutex lock;
    std::unique_ptr<QTranslator> english;
    bool englishTried = false;
    // What UseInterfaceLanguage installed.
    std::unique_ptr<QTranslator> installedProgram;
    std::unique_ptr<QTranslator> installedQt;
    TInterfaceLanguage current = TInterfaceLanguage::Chinese;
    TInterfaceLanguage wanted = TInterfaceLanguage::Chinese;
    bool applied = false;
};

TCatalogues& Catalogues() {
    static TCatalogues c;
    return c;
}

QTranslator* EnglishLocked(TCatalogues& c) {
    if (!c.englishTried) {
        c.englishTried = true;
        auto t = std::make_unique<QTranslator>();
        if (t->load(QString::fromLatin1(kEnglishTranslation))) c.english = std::move(t);
    }
    return c.english.get();
}

} // namespace

TInterfaceLanguage LocaleLanguage(const TEnvironment& env) {
    QByteArray locale = env("LC_ALL");
    if (locale.isEmpty()) locale = env("LC_MESSAGES");
    if (locale.isEmpty()) locale = env("LANG");
    if (BareLocale(locale)) return TInterfaceLanguage::Chinese;
    for (const QByteArray& entry : env("LANGUAGE").split(':')) {
        if (!entry.isEmpty()) return OfLanguage(LanguagePart(entry));
    }
    return OfLanguage(LanguagePart(locale));
}

TInterfaceLanguage LocaleLanguage() {
    return LocaleLanguage(ProcessEnvironment);
}

TInterfaceLanguage ResolveLanguage(TInterfaceLanguage choice, const TEnvironment& env) {
    if (choice == TInterfaceLanguage::Chinese || choice == TInterfaceLanguage::English) return choice;
    return LocaleLanguage(env);
}

TInterfaceLanguage ResolveLanguage(TInterfaceLanguage choice) {
    return ResolveLanguage(choice, ProcessEnvironment);
}

TInterfaceLanguage UseInterfaceLanguage(TInterfaceLanguage choice) {
    const TInterfaceLanguage language = ResolveLanguage(choice);
    TCatalogues& c = Catalogues();
    std::unique_ptr<QTranslator> program, qt;
    {
        QMutexLocker hold(&c.lock);
        if (c.applied && language == c.wanted) return c.current;
    }
    if (language == TInterfaceLanguage::English) {
        program = std::make_unique<QTranslator>();
        if (!program->load(QString::fromLatin1(kEnglishTranslation))) program.reset();
        // Qt's own texts are English as written.
    } else {
        // The program's texts are Chinese as written; Qt's dialogs and buttons follow where Qt's
        // translations are installed.
        qt = std::make_unique<QTranslator>();
        if (!qt->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            qt.reset();
    }
    QMutexLocker hold(&c.lock);
    if (c.installedProgram) QCoreApplication::removeTranslator(c.installedProgram.get());
    if (c.installedQt) QCoreApplication::removeTranslator(c.installedQt.get());
    c.installedProgram = std::move(program);
    c.installedQt = std::move(qt);
    if (c.installedQt) QCoreApplication::installTranslator(c.installedQt.get());
    if (c.installedProgram) QCoreApplication::installTranslator(c.installedProgram.get());
    c.applied = true;
    c.wanted = language;
    // Without the English catalogue (a build without it) the texts stay as written.
    c.current = language == TInterfaceLanguage::English && !c.installedProgram ? TInterfaceLanguage::Chinese
                                                                               : language;
    return c.current;
}

TInterfaceLanguage CurrentInterfaceLanguage() {
    TCatalogues& c = Catalogues();
    QMutexLocker hold(&c.lock);
    return c.current;
}

QString TextIn(TInterfaceLanguage language, const char* context, const char* source,
               const char* disambiguation, int n) {
    if (language == TInterfaceLanguage::English) {
        TCatalogues& c = Catalogues();
        QMutexLocker hold(&c.lock);
        if (QTranslator* english = EnglishLocked(c)) {
            QString text = english->translate(context, source, disambiguation, n);
            if (!text.isNull()) {
                if (n >= 0) text.replace(QStringLiteral("%n"), QString::number(n));
                return text;
            }
        }
    }
    QString text = QString::fromUtf8(source);
    if (n >= 0) text.replace(QStringLiteral("%n"), QString::number(n));
    return text;
}

QString Text(const char* context, const char* source, const char* disambiguation, int n) {
    if (QCoreApplication::instance()) return QCoreApplication::translate(context, source, disambiguation, n);
    return TextIn(CurrentInterfaceLanguage(), context, source, disambiguation, n);
}
