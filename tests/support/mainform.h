#pragma once

// What a test reaches in the main window: the feed session by its type, the widgets by their
// object names, as a trader's tools would find them.

#include "feed/amibrokerlivedata2.h"
#include "feed/feedsession.h"
#include "assembledwindow.h"
#include "sessionprobe.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTextEdit>

#include <cstdlib>
#include <cstdio>

inline FeedSession &sessionOf(const QObject &window)
{
    const auto *console = qobject_cast<const amibrokerlivedata2 *>(&window);
    if (!console) {
        std::fprintf(stderr, "not a main window\n");
        std::abort();
    }
    return console->session();
}

// The main window's widgets, found once by object name.
class MainForm
{
public:
    explicit MainForm(const QWidget &window)
        : m_window(window)
    {
    }

    template <typename T>
    T *find(const char *name) const
    {
        auto *widget = m_window.findChild<T *>(QLatin1String(name));
        if (!widget) {
            std::fprintf(stderr, "the window has no %s\n", name);
            std::abort();
        }
        return widget;
    }

private:
    const QWidget &m_window;

public:
    QPushButton *const amibrokerPathButton = find<QPushButton>("amibrokerPathButton");
    QPushButton *const restartButton = find<QPushButton>("restartButton");
    QGroupBox *const backfillGroup = find<QGroupBox>("backfillGroup");
    QComboBox *const daysBox = find<QComboBox>("daysBox");
    QPushButton *const backfillButton = find<QPushButton>("backfillButton");
    QPushButton *const copyIDButton = find<QPushButton>("copyIDButton");
    QPushButton *const pushButton = find<QPushButton>("pushButton");
    QGroupBox *const realTimeDataGroupBox = find<QGroupBox>("realTimeDataGroupBox");
    QRadioButton *const cashBox = find<QRadioButton>("cashBox");
    QRadioButton *const futureBox = find<QRadioButton>("futureBox");
    QRadioButton *const optionBox = find<QRadioButton>("optionBox");
    QRadioButton *const commBox = find<QRadioButton>("commBox");
    QRadioButton *const currBox = find<QRadioButton>("currBox");
    QRadioButton *const spotBox = find<QRadioButton>("spotBox");
    QRadioButton *const agricommBox = find<QRadioButton>("agricommBox");
    QPushButton *const contactSupportButton = find<QPushButton>("contactSupportButton");
    QListWidget *const symbolsListWidget = find<QListWidget>("symbolsListWidget");
    QTableView *const displayTableWidget = find<QTableView>("displayTableWidget");
    QPushButton *const selectAll = find<QPushButton>("selectAll");
    QPushButton *const selectNone = find<QPushButton>("selectNone");
    QPushButton *const addSelected = find<QPushButton>("addSelected");
    QProgressBar *const progressBar = find<QProgressBar>("progressBar");
    QProgressBar *const progressBarRT = find<QProgressBar>("progressBarRT");
    QPushButton *const save_list = find<QPushButton>("save_list");
    QPushButton *const load_list_2 = find<QPushButton>("load_list_2");
    QLineEdit *const machineIDLabel = find<QLineEdit>("machineIDLabel");
    QPushButton *const DeleteAll = find<QPushButton>("DeleteAll");
    QPushButton *const connectButton = find<QPushButton>("connectButton");
    QTextEdit *const messageBox = find<QTextEdit>("messageBox");
    QLabel *const statusLabel = find<QLabel>("statusLabel");
    QLabel *const feedHealthLabel = find<QLabel>("feedHealthLabel");
};
