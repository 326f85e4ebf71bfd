#pragma once

#include <QString>
#include <QWidget>

#include <functional>

#include "ui_Unit18.h"

// The update window "Atualizações": shows the installed version and asks the maker's server whether
// another one is published.
class TForm18 : public QWidget {
    Q_OBJECT
public:
    explicit TForm18(QWidget* parent = nullptr);

    // Reads the installed version into Label3.
    void FormCreate();
    // The check against the published version.
    void BitBtn1Click();
    // Opens the download page.
    void Button1Click();
    void Button2Click();

    QString RootPath() const;
    // Waits about `seconds` seconds while the window stays responsive.
    void Pausa(int seconds);
    // Hands an address or a file name to the desktop, which opens it.
    void ExecutePrograma(const QString& file, const QString& parameters);

    static QString updateAddress();
    static QString downloadPage();

    // Seams for the tests. Empty addresses, a negative step and an empty opener bring the real ones back.
    static void setAddressesForTesting(const QString& update, const QString& page);
    static void setPausaStepForTesting(int milliseconds);
    using Opener = std::function<void(const QString& file, const QString& parameters)>;
    static void setOpenerForTesting(Opener opener);

    Ui::TForm18 ui;
};
