// The interface language: the program's own texts are written in Chinese, and an English translation
// (Qt's translation system, built into the program's resources) stands beside them.
//
// Every text the program shows is looked up through Qt's translation functions with the Chinese text
// as the source, so with no translation installed the program reads exactly as written. Which language
// shows follows the locale unless the user chose one on the settings tab.
#pragma once

#include <QString>

#include <functional>

enum class TInterfaceLanguage { Automatic = 0, Chinese = 1, English = 2 };

// The language the locale asks for, from the environment as gettext reads it: LC_ALL, else
// LC_MESSAGES, else LANG names the locale; when that locale is the bare C/POSIX one (or none is set)
// the program's own Chinese shows, and LANGUAGE, a priority list, is ignored as gettext ignores it
// there. Otherwise LANGUAGE's first entry, where set, decides before the locale. Chinese (zh*) ->
// Chinese; any other language -> English. `env` returns a variable's value or an empty string.
using TEnvironment = std::function<QByteArray(const char* name)>;
TInterfaceLanguage LocaleLanguage(const TEnvironment& env);
TInterfaceLanguage LocaleLanguage(); // the process's environment

// Chinese or English: the choice itself, or the locale's language for Automatic (or a value out of the
// list, as a forged setting would hold).
TInterfaceLanguage ResolveLanguage(TInterfaceLanguage choice, const TEnvironment& env);
TInterfaceLanguage ResolveLanguage(TInterfaceLanguage choice);

// Makes `choice` (resolved as above) the language of every text looked up from now on: the program's
// translation and Qt's own (its dialogs and buttons, from Qt's translations where installed) replace
// those installed before, and every widget receives QEvent::LanguageChange. Needs the application
// object. Returns the language now shown.
TInterfaceLanguage UseInterfaceLanguage(TInterfaceLanguage choice);
// The language now shown (Chinese until UseInterfaceLanguage says otherwise).
TInterfaceLanguage CurrentInterfaceLanguage();

// One text in the given language (Chinese or English) whatever is installed; works without the
// application object, for what is said before it exists and for names kept in both languages.
QString TextIn(TInterfaceLanguage language, const char* context, const char* source,
               const char* disambiguation = nullptr, int n = -1);
// One text in the current language (QCoreApplication::translate, or TextIn without the application).
QString Text(const char* context, const char* source, const char* disambiguation = nullptr, int n = -1);

// Where the English translation lies in the resources.
inline constexpr const char* kEnglishTranslation = ":/i18n/vexmor_en.qm";
