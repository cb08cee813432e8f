#pragma once
// The application object: Qt's, with one report for every failure that would
// otherwise escape the event loop (a handler of a dialog or of the main window
// that throws). The report is a message box with the error text; the program
// goes on as it was.
#include <QApplication>
#include <QLocale>
#include <exception>

class TApplication : public QApplication
{
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the program in English when the first language of `locale` for its
    // user interface is English: the program's texts and Qt's own (standard
    // buttons, edit menus). Any other language keeps the Chinese texts. True
    // when the English texts were installed.
    static bool installTranslations(const QLocale& locale);

    // The report of a failure: the error text, caption "错误", stop icon.
    static void showException(const std::exception& error);
    static void showUnknownException();
};
