#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class eoddata;
}

// The end-of-day request: one feed and one period, optionally limited to the watch list.
// Emits the archive name once and closes itself.
class eoddata : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(eoddata)

public:
    explicit eoddata(QWidget *parent = nullptr);
    ~eoddata() override;

    Ui::eoddata *form() const { return ui; }

    // Read by the main window while it handles doBackfill().
    bool watchListOnly = true;

signals:
    void doBackfill(QString symbol);

public slots:
    void on_backfillButton_clicked();

private:
    Ui::eoddata *ui;
};
