#include "Form1.h"
#include "CellText.h"
#include "Form1Design.h"

#include "Clock.h"
#include "DataGrid.h"
#include "Database.h"
#include "DbHelpers.h"
#include "DesignLook.h"
#include "Form1Layout.h"
#include "KitchenSignals.h"
#include "MessageSink.h"
#include "OrderSql.h"
#include "ScaledScreen.h"
#include "Screen.h"
#include "TableDetailOpener.h"
#include "Twips.h"
#include "WrappingButton.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <limits>

namespace ordisp {

using namespace form1;

QString CaptionWithVersion(const QString& base, int major, int minor) {
    return base + QLatin1Char(' ') + QString::number(major) + QLatin1Char('.') + QString::number(minor);
}

double CaptionNumber(const QString& caption) {
    qsizetype i = 0;
    while (i < caption.size() && (caption.at(i) == QLatin1Char(' ') || caption.at(i) == QLatin1Char('\t')))
        ++i;
    QString number;
    if (i < caption.size() && (caption.at(i) == QLatin1Char('-') || caption.at(i) == QLatin1Char('+')))
        number += caption.at(i++);
    bool digits = false;
    while (i < caption.size() && caption.at(i).isDigit() && caption.at(i).unicode() < 128) {
        number += caption.at(i++);
        digits = true;
    }
    if (i < caption.size() && caption.at(i) == QLatin1Char('.')) {
        number += caption.at(i++);
        while (i < caption.size() && caption.at(i).isDigit() && caption.at(i).unicode() < 128) {
            number += caption.at(i++);
            digits = true;
        }
    }
    if (!digits)
        return 0;
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok ? value : 0;
}

std::optional<qint16> TableNumber(double number) {
    const double rounded = RoundHalfEven(number);
    if (!(rounded >= -32768.0 && rounded <= 32767.0))
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

Form1::Form1(Database& db, const AppConfig& config, MessageSink& messages, const Screen& screen,
             const Clock& clock, TableDetailOpener* detail, QWidget* parent)
    : QWidget(parent)
    , m_db(db)
    , m_config(config)
    , m_messages(messages)
    , m_screen(screen)
    , m_clock(clock)
    , m_detail(detail)
    , m_scaled(screen)
    , m_gridWidth(kGrid.width)
    , m_gridHeight(kGrid.height)
    , m_actionLeft(kCmdOK.left)
    , m_escLeft(kCmdEsc.left)
    , m_escTop(kCmdEsc.top) {
    // The frame is not known before the window is shown; showEvent corrects the scale for it.
    m_scaled.setFactor(fitScale(QSize(0, 0)));
    buildControls();
    Form_Load();
}

Form1::~Form1() = default;

void Form1::Form_Load() {
    m_grid->setColumnFormat(m_grid->columnByCaption(QStringLiteral("Status")), StatusText);
    m_grid->setColumnFormat(m_grid->columnByCaption(QStringLiteral("Zeit")), TimeText);
    applyDesign();
    placeWindow();
    setWindowTitle(CaptionWithVersion(windowTitle(), ORDISP_VERSION_MAJOR, ORDISP_VERSION_MINOR));
    buildTableButtons();
    m_cmdTisch.at(0)->setText(QStringLiteral("Alle Tische"));
    m_sortOrder = kSortStatusInsdate;
    m_grid->setDataSource(&m_listRs);
    refreshOrRecover(0);
    m_timer1->setInterval(kTimerInterval);
    m_timer1->start();
}

bool Form1::RefreshList(qint32 SelectId, DbError* error) {
    // Both lists are read before anything on screen changes: a failing database leaves the last
    // list, its selection and the table buttons as they were.
    // Each starts from the rows of the last refresh, which it keeps when the database tells that
    // nothing was written since: an idle tick then reads nothing.
    const std::optional<DataStamp> stamp = m_db.dataStamp();
    ResultSet list = m_listRs;
    if (!list.refresh(m_db, OrderSql::orderList(m_config.monitorNr, m_tableFilterSql, m_sortOrder), stamp,
                      error))
        return false;
    // Unfiltered, the list names every table of the monitor: the table list is taken from it, one
    // query less, unless a table is named in a way only the database can sort.
    const bool listKept = list.rows().isSharedWith(m_listRs.rows()) && list.sql() == m_listRs.sql();
    std::optional<QList<QVariant>> tables;
    if (m_tableFilterSql.isEmpty())
        tables = listKept && m_tablesOfList ? m_tablesOfList : TablesOfList(list);
    ResultSet tableList = m_tableList;
    if (!tables) {
        if (!tableList.refresh(m_db, OrderSql::tableList(m_config.monitorNr), stamp, error))
            return false;
        tables.emplace();
        for (tableList.moveFirst(); !tableList.eof(); tableList.moveNext())
            tables->append(FieldValue(tableList, QStringLiteral("tisch")));
    }

    QStringList captions(m_cmdTisch.size());
    for (int i = 1; i < m_cmdTisch.size() && i <= tables->size(); ++i) {
        const QVariant& table = tables->at(i - 1);
        QString caption = table.toString();
        if (table.toDouble() == m_tableFilter)
            caption += QStringLiteral(" Detail");
        captions[i] = caption;
    }
    m_tableList = std::move(tableList);
    m_tablesOfList = m_tableFilterSql.isEmpty() ? tables : std::nullopt;
    // Only a caption that changed is set: each set one is measured and drawn again.
    for (int i = 1; i < m_cmdTisch.size(); ++i) {
        if (m_cmdTisch.at(i)->text() != captions.at(i))
            m_cmdTisch.at(i)->setText(captions.at(i));
    }

    m_listRs.close();
    m_listRs = std::move(list);
    if (SelectId > 0)
        m_listRs.find(QStringLiteral("id"), SelectId);
    m_kitchen->listRead(m_listRs, m_tableFilterSql);

    if (m_grid->dataSource() != &m_listRs)
        m_grid->setDataSource(&m_listRs);
    m_grid->refreshGrid();
    return true;
}

ReadRows Form1::listReader(qint32 selectId) {
    return [this, selectId](DbError* error) { return RefreshList(selectId, error); };
}

bool Form1::refreshOrRecover(qint32 selectId) {
    DbError error;
    if (ReadOrRecover(m_db, listReader(selectId), &error)) {
        readSucceeded();
        return true;
    }
    readFailed(error);
    return false;
}

void Form1::readFailed(const DbError& error) {
    const QString detail = error.description.simplified();
    switch (error.kind) {
    case DbError::Kind::Busy:
        // A lock held for a moment is usual while terminals write; only one that keeps several
        // ticks in a row from reading is worth telling.
        if (m_busyReads++ == 0)
            m_busySince = m_clock.now();
        if (m_busyReads >= kBusyReadsShown)
            showBanner(Banner::Busy, QStringLiteral("Datenbank belegt seit %1"), m_busySince, detail);
        return;
    case DbError::Kind::Lost:
        m_busyReads = 0;
        showBanner(Banner::Lost, QStringLiteral("Keine Verbindung zur Datenbank seit %1"), m_clock.now(),
                   detail);
        return;
    case DbError::Kind::Refused:
        m_busyReads = 0;
        // The driver's own words: a missing column or table is for the administrator to mend.
        showBanner(Banner::Failed, QStringLiteral("Datenbankfehler seit %1: ") + detail, m_clock.now(),
                   QString());
        return;
    }
}

void Form1::lockedSince(const QDateTime& since, const DbError& error) {
    if (m_busyReads == 0 || since < m_busySince)
        m_busySince = since;
    m_busyReads = qMax(m_busyReads, kBusyReadsShown);
    showBanner(Banner::Busy, QStringLiteral("Datenbank belegt seit %1"), m_busySince,
               error.description.simplified());
}

void Form1::showBanner(Banner kind, const QString& text, const QDateTime& since, const QString& detail) {
    // While the trouble stays the same, the banner keeps the time it began.
    const QDateTime from = kind == m_bannerShown && kind != Banner::Busy ? m_bannerSince : since;
    const QString shown = text.arg(from.toString(QStringLiteral("HH:mm:ss")));
    if (kind == m_bannerShown && shown == m_banner->text())
        return;
    m_bannerShown = kind;
    m_bannerSince = from;
    m_banner->setText(shown);
    placeBanner();
    m_banner->show();
    m_banner->raise();
    WriteStderrLine(detail.isEmpty() ? QStringLiteral("Ordisp: %1").arg(shown)
                                     : QStringLiteral("Ordisp: %1: %2").arg(shown, detail));
}

void Form1::readSucceeded() {
    m_busyReads = 0;
    if (m_bannerShown == Banner::None)
        return;
    const Banner was = m_bannerShown;
    m_bannerShown = Banner::None;
    m_banner->hide();
    // Hidden, it must not be read out either.
    m_banner->clear();
    const QString now = m_clock.now().toString(QStringLiteral("HH:mm:ss"));
    WriteStderrLine(was == Banner::Lost
                        ? QStringLiteral("Ordisp: Verbindung zur Datenbank wiederhergestellt um %1").arg(now)
                        : QStringLiteral("Ordisp: Datenbank wieder lesbar um %1").arg(now));
}

void Form1::placeBanner() {
    // Over the column headers: the rows of the last list stay readable below it.
    const QRect grid = m_grid->geometry();
    const int height = qMax(m_grid->headerLineHeight(), m_banner->sizeHint().height());
    m_banner->setGeometry(grid.left(), grid.top(), grid.width(), height);
}

bool Form1::selectedId(qint32* id) const {
    return CurrentOrderId(m_listRs, id);
}

void Form1::Timer1_Timer() {
    m_timer1->stop();
    qint32 id = 0;
    selectedId(&id);
    const int count = id != 0 ? m_listRs.rowCount() : 0;
    if (id != 0) {
        if (refreshOrRecover(id) && m_listRs.rowCount() != count)
            refreshOrRecover(0);
    } else {
        refreshOrRecover(0);
    }
    m_kitchen->tick();
    if (!m_closing)
        m_timer1->start();
}

void Form1::DataGrid1_HeadClick(int ColIndex) {
    qint32 id = 0;
    selectedId(&id);
    switch (ColIndex) {
    case 0:
        m_sortOrder = kSortInsdate;
        break;
    case 1:
        m_sortOrder = kSortTischStatus;
        break;
    case 5:
        m_sortOrder = kSortStatusInsdate;
        break;
    default:
        break;
    }
    refreshOrRecover(id);
}

void Form1::cmdIA_Click() {
    setStatus(StatusInProgress);
}

void Form1::cmdOK_Click() {
    setStatus(StatusDone);
}

void Form1::setStatus(int status) {
    qint32 id = 0;
    if (!selectedId(&id))
        return;
    runStatement(OrderSql::setStatus(status, id), id);
}

void Form1::cmdDel_Click() {
    qint32 id = 0;
    if (!selectedId(&id))
        return;
    if (!CurrentOrderIsDone(m_listRs)) {
        m_messages.show(MsgExclamation, OnlyDoneDeletableText());
        return;
    }
    m_kitchen->deletedHere(id);
    runStatement(OrderSql::deleteOrder(id), 0);
}

void Form1::runStatement(const QString& sql, qint32 selectId) {
    const QDateTime pressed = m_clock.now();
    const PressOutcome outcome = RunPress(m_db, sql, listReader(selectId));
    if (outcome.readBack) {
        readSucceeded();
    } else {
        readFailed(outcome.readError);
        if (!outcome.written && outcome.statementError.busy())
            lockedSince(pressed, outcome.statementError);
    }
    // Whatever kept the statement from running, the cook must not believe the dish was marked.
    if (!outcome.written)
        m_messages.show(MsgExclamation, ChangeNotSavedText());
}

void Form1::cmdEsc_Click() {
    close();
}

void Form1::cmdTisch_Click(int Index) {
    if (Index < 0 || Index >= m_cmdTisch.size())
        return;
    if (Index == 0) {
        m_tableFilter = 0;
        m_tableFilterSql.clear();
    } else {
        const double number = CaptionNumber(m_cmdTisch.at(Index)->text());
        if (number == m_tableFilter) {
            if (m_detail) {
                m_detail->Init(m_tableFilter);
                m_detail->showDetail();
            }
        } else {
            const std::optional<qint16> table = TableNumber(number);
            if (!table) {
                m_messages.show(MsgExclamation,
                                QStringLiteral("Tisch %1 kann nicht gewählt werden: Tischnummern reichen "
                                               "von -32768 bis 32767.")
                                    .arg(m_cmdTisch.at(Index)->text().trimmed()));
                return;
            }
            m_tableFilter = *table;
            m_tableFilterSql = OrderSql::tableFilter(m_tableFilter);
            m_sortOrder = kSortTischGangStatus;
        }
    }
    refreshOrRecover(0);
}

void Form1::closeEvent(QCloseEvent* event) {
    if (!m_closing) {
        m_closing = true;
        m_timer1->stop();
        if (m_listRs.isOpen())
            m_listRs.close();
        m_db.close();
        QCoreApplication::exit(0);
    }
    event->accept();
}

} // namespace ordisp
