#pragma once

#include <QDialog>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>

class MyDownloader;
class QSqlDatabase;
class QSqlQuery;
class eoddata;
class liveDataUpdator;
class settings;

namespace Ui {
class amibrokerlivedata2;
}

// The trader's console and the owner of the live feed. Its duties are spread over the
// subsystem folders: feed/ (construction, connect flow, live URL), symbols/ (catalogue,
// selection, watch lists, display table), backfill/ and workspace/ (close sequence).
class amibrokerlivedata2 : public QDialog
{
    Q_OBJECT

public:
    explicit amibrokerlivedata2(QWidget *parent = nullptr);
    ~amibrokerlivedata2() override;

    // Feed boxes in index order with their feed word and exchange name.
    struct FeedBox
    {
        const char *objectName;
        const char *feedWord;
        const char *exchange;
    };
    static const std::array<FeedBox, 7> FeedBoxes;

    QString titleText;
    MyDownloader *liveDownloader = nullptr;
    QString databaseFolderPath;
    QString requestKey;          // SecureKey
    QString scheme;
    MyDownloader *backfillDownloader = nullptr;
    QString liveGetPath;         // NetworkDataPathGet
    QString livePostPath;        // NetworkDataPathPost
    liveDataUpdator *worker = nullptr;
    QString contactSupportLink;
    QString txtBackfillPath;
    QString oneDayBackfillBase;  // set by the start-up backfill

    QSqlDatabase *database = nullptr;
    bool databaseOpen = false;
    QSqlQuery *query = nullptr;
    settings *settingsDialog = nullptr;

    // Symbol catalogue: exchange name -> symbols; an empty list counts as not loaded.
    QMap<QString, QStringList> catalogue;
    QString currentExchange;
    std::array<bool, 7> feedFlags{};

    int steadyCounterLtp = 0;
    int steadyCounterLtq = 0;

    QPointer<eoddata> currentEodDialog;

    Ui::amibrokerlivedata2 *form() const { return ui; }

    [[nodiscard]] QStringList catalogueQuery(const QString &exchange);
    void catalogueLookup(const QString &exchange);
    [[nodiscard]] QStringList enabledExchanges() const;

public slots:
    // feed/
    void on_connectButton_clicked();
    void updateProgress(QString progress, QString speed);
    void on_restartButton_clicked();
    void on_amibrokerPathButton_clicked();
    void on_contactSupportButton_clicked();
    void on_copyIDButton_clicked();
    void showStatusMessage(QString message);

    // symbols/
    void on_cashBox_toggled(bool checked);
    void on_futureBox_toggled(bool checked);
    void on_optionBox_toggled(bool checked);
    void on_commBox_toggled(bool checked);
    void on_currBox_toggled(bool checked);
    void on_spotBox_toggled(bool checked);
    void on_agricommBox_toggled(bool checked);
    void on_selectAll_clicked();
    void on_selectNone_clicked();
    void on_addSelected_clicked();
    void on_DeleteAll_clicked();
    void enableInterface(QString MachineID, QString enabledFeeds, QStringList daysbox, QString message);
    void on_save_list_clicked();
    void on_load_list_2_clicked();
    void addDisplayTable();
    void updateDisplayTable();
    void closeButtonClicked(bool clicked);

    // backfill/
    void on_backfillButton_clicked();
    void backfillButtonClicked(bool clicked);
    void do5DayBackfill();
    void backfillDone();
    void responseError();
    void updateProgress2(QString progress, QString speed);
    void doAutoBackFill();
    void on_pushButton_clicked();
    void eodBackfillButton_clicked(QString symbol);
    void doEodBackfill();
    void eodBackfillDone();

    // Escape and the close button alike go through the close sequence.
    void reject() override;

private slots:
    void updateUrlDataState();

protected:
    // workspace/: the close sequence
    void closeEvent(QCloseEvent *event) override;

private:
    void feedBoxToggled(int index, bool checked);

    Ui::amibrokerlivedata2 *ui;
};
