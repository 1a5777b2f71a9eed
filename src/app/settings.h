#pragma once

#include <QDialog>

namespace Ui {
class settings;
}

// The preferences dialog over the settings store.
class settings : public QDialog
{
    Q_OBJECT

public:
    explicit settings(QWidget *parent);
    ~settings() override;

    // Reads the store into the form and the two members.
    void load();

    int dataMode = 0;
    // Read by the close sequence; true until the first load.
    bool controlAmibroker = true;

public slots:
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();

private slots:
    void on_openLogFolder_clicked();

private:
    Ui::settings *ui;
};
