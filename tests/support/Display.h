#pragma once

#include "Clock.h"
#include "DataGrid.h"
#include "Form1.h"
#include "MessageSink.h"
#include "Schema.h"
#include "Screen.h"
#include "ServerTestSupport.h"
#include "TestDb.h"
#include "frmTischDetail.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <memory>

// Tests name it inside namespace ordisp: QtGui declares an X11 Display of its own.
namespace ordisp {

// The back ends the display tests run on, as the global data "backend": "file" and "server".
void AddBackends();
QString CurrentBackend();

// For init(): the server needs the PostgreSQL test cluster (skipped without it, failed in CI).
#define ORDISP_REQUIRE_BACKEND()                                                                             \
    do {                                                                                                     \
        if (CurrentBackend() == QLatin1String("server"))                                                     \
            ORDISP_REQUIRE_PG(Display::cluster());                                                           \
    } while (false)

// A display on a database of either back end: the file, or a scratch role of the test cluster
// (its dates day first, as a German server has them). ZALPOS.INI for it in a folder of its own, the
// real start-up, then the main window and its detail window on the connection the start-up opened.
class Display {
public:
    explicit Display(int monitorNr = 1, const QString& backend = CurrentBackend());
    ~Display();

    static const PgCluster& cluster();
    QString errorText() const { return m_error; }

    // [DATABASE] and [PFADE] for this database as an administrator writes them; the server's
    // password coded, as it holds blanks at its ends, ';' and '}'.
    QString databaseLines() const;
    // Writes ZALPOS.INI and runs the start-up; whether the main window is to show.
    bool startup(const QString& ini);
    // The start-up on databaseLines() and [ORDISP] for this monitor with settings, then the windows.
    bool start(const QString& settings = {});

    // A connection of its own, as another station's, for arranging lines and reading them back.
    Database& side() { return role ? role->side() : *m_side; }
    bool exec(const QString& sql);
    // A line of this monitor through InsertOrder, a minute after the last one (from 09:00); its id.
    qint64 add(int table, std::optional<int> status = 0, int course = 1, const QString& text = {},
               int guest = 1, int monitor = 0);
    qint64 add(const OrderInput& order);
    QString statuses(); // of the lines in the order of their ids, "null" for NULL
    // Trouble of a kind, or its end: "lost", the database out of the display's reach (the file moved
    // away; the server refusing the role's logins, its sessions ended); "lock", another program's
    // lock of the file; any other, a column of ordisp of that name renamed.
    bool trouble(const QString& kind, bool on);

    DataGrid* grid() const { return form->findChild<DataGrid*>(QStringLiteral("DataGrid1")); }
    QLabel* banner() const { return form->findChild<QLabel*>(QStringLiteral("connectionBanner")); }
    QPushButton* button(const QString& name) const { return form->findChild<QPushButton*>(name); }
    QStringList tableCaptions() const; // of buttons 1 to 29, those not empty
    QList<qint64> ids() const;
    // The selected line's id, 0 when none, -1 when the grid's selection and the current row differ.
    qint64 selected() const;
    void select(qint64 id) const { grid()->selectRow(int(ids().indexOf(id))); }
    QStringList cells() const; // the main grid's rows as shown, cells joined by " | "

    ServerConfig config;
    RecordingMessageSink messages;
    FixedScreen screen{15.0};
    FixedClock clock{QDateTime(QDate(2024, 5, 10), QTime(14, 3, 7))};
    StartupOutcome outcome;
    std::unique_ptr<frmTischDetail> detail;
    std::unique_ptr<Form1> form;
    std::unique_ptr<TestDb> file;      // the database file, or
    std::unique_ptr<ScratchRole> role; // the server's scratch role

private:
    int m_monitorNr;
    int m_added = 0;
    QString m_error;
    std::unique_ptr<Database> m_side;
    std::unique_ptr<FileLock> m_lock;
};

} // namespace ordisp
