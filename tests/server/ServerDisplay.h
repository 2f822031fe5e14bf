#pragma once

#include "Clock.h"
#include "DataGrid.h"
#include "Form1.h"
#include "MessageSink.h"
#include "Schema.h"
#include "Screen.h"
#include "ServerTestSupport.h"
#include "frmTischDetail.h"

#include <QLabel>
#include <QPushButton>

#include <memory>

namespace ordisp {

// The display as the program runs it on the server: the start-up over the data source as a
// scratch role, then the main window and its detail window on the connection it opened.
class ServerDisplay {
public:
    ServerDisplay(const PgCluster& cluster, const QString& roleName, int monitorNr = 1);
    ~ServerDisplay();

    // The role's tables, made by ordisp-db init; false (see errorText) when that failed.
    bool prepare();
    // Runs the start-up and shows nothing yet; false when it did not reach the main window.
    bool start();
    QString errorText() const;

    // Inserts a line through the role's side connection; its id, or -1.
    qint64 add(int table, int course, int guest, std::optional<int> status, const QDateTime& insdate,
               const QString& text, int monitor = 1, double quantity = 1.0);

    ScratchRole role;
    ServerConfig config;
    RecordingMessageSink messages;
    FixedScreen screen{15.0};
    FixedClock clock{QDateTime(QDate(2024, 5, 10), QTime(14, 3, 7))};
    StartupOutcome outcome;
    std::unique_ptr<frmTischDetail> detail;
    std::unique_ptr<Form1> form;

    Database& db() const { return *outcome.db; }
    DataGrid* grid() const { return form->findChild<DataGrid*>(QStringLiteral("DataGrid1")); }
    QLabel* banner() const { return form->findChild<QLabel*>(QStringLiteral("connectionBanner")); }
    QPushButton* table(int index) const {
        return form->findChild<QPushButton*>(QStringLiteral("cmdTisch%1").arg(index));
    }
    // Index of the table button with that caption, -1 when none has it.
    int tableButton(const QString& caption) const;
    QStringList tableCaptions() const;

    QList<qint64> ids() const;
    qint64 selected() const;
    void select(qint64 id) const;
    // The main grid's cells as shown, row by row, columns joined by " | ".
    QStringList cells() const;
    // The stored status of a line as text ("null" for NULL), empty when the line is gone.
    QString storedStatus(qint64 id);

private:
    const PgCluster& m_cluster;
    int m_monitorNr;
    QString m_error;
};

} // namespace ordisp
