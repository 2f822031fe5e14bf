#include "Display.h"

#include "DbHelpers.h"
#include "Password.h"

namespace ordisp {

namespace {
const QString kPassword = QStringLiteral(" Küche;1} ");
} // namespace

void AddBackends() {
    QTest::addColumn<QString>("backend");
    for (const char* backend : {"file", "server"})
        QTest::newRow(backend) << QString::fromLatin1(backend);
}

QString CurrentBackend() {
    QFETCH_GLOBAL(QString, backend);
    return backend;
}

const PgCluster& Display::cluster() {
    static const PgCluster cluster;
    return cluster;
}

Display::Display(int monitorNr, const QString& backend)
    : m_monitorNr(monitorNr) {
    if (backend == QLatin1String("file")) {
        file = std::make_unique<TestDb>();
        m_side = std::make_unique<Database>(QStringLiteral("DisplaySide"));
        m_error = file->errorText() + (m_side->open(file->settings()) ? "" : "no side connection");
        return;
    }
    // A role per test program: programs may run side by side.
    role = std::make_unique<ScratchRole>(cluster(), "ordisp_" + QCoreApplication::applicationName(),
                                         kPassword, QStringList{"DateStyle = 'ISO, DMY'"});
    if (!role->isValid() || !role->initTables())
        m_error = role->errorText();
}

Display::~Display() {
    form.reset();
    detail.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString Display::databaseLines() const {
    if (file)
        return QStringLiteral("[DATABASE]\nTYP=MS-JET\n[PFADE]\nDATENBANK=%1\n").arg(file->folder());
    return QStringLiteral("[DATABASE]\nTYP=MS-SQL\nSERVER=%1\nUSER=%2\nPWDC=%3\n")
        .arg(cluster().dsn(), role->name(), EncodePassword(kPassword));
}

bool Display::startup(const QString& ini) {
    config.write(ini.toUtf8());
    outcome = config.run(messages, clock.now());
    m_error += messages.texts().join(QLatin1Char('\n'));
    return outcome.showMainWindow;
}

bool Display::start(const QString& settings) {
    if (!m_error.isEmpty() ||
        !startup(databaseLines() + QStringLiteral("[ORDISP]\nORDISPNR=%1\n").arg(m_monitorNr) + settings))
        return false;
    detail = std::make_unique<frmTischDetail>(*outcome.db, outcome.config.monitorNr, messages, screen);
    form = std::make_unique<Form1>(*outcome.db, outcome.config, messages, screen, clock, detail.get());
    detail->setKitchenSignals(form->kitchenSignals());
    return true;
}

bool Display::exec(const QString& sql) {
    DbError error;
    const bool ok = side().exec(sql, &error);
    m_error = error.description;
    return ok;
}

qint64 Display::add(int table, std::optional<int> status, int course, const QString& text, int guest,
                    int monitor) {
    const QDateTime insdate = QDateTime(QDate(2024, 5, 10), QTime(9, 0)).addSecs(60 * m_added);
    return add({monitor ? monitor : m_monitorNr, table, course, guest, 1.0,
                text.isNull() ? QStringLiteral("Gericht %1").arg(m_added + 1) : text, status, insdate});
}

qint64 Display::add(const OrderInput& order) {
    ++m_added;
    DbError error;
    ResultData data;
    if (InsertOrder(side(), order, &error) &&
        side().select(QStringLiteral("SELECT max(id) FROM ordisp"), &data, &error))
        return data.rows.value(0).value(0).toLongLong();
    m_error = error.description;
    return -1;
}

QString Display::statuses() {
    ResultData data;
    QStringList statuses;
    if (side().select(QStringLiteral("SELECT status FROM ordisp ORDER BY id"), &data)) {
        for (const ResultRow& row : data.rows)
            statuses << (row.first().isNull() ? QStringLiteral("null")
                                              : QString::number(row.first().toInt()));
    }
    return statuses.join(' ');
}

bool Display::trouble(const QString& kind, bool on) {
    if (kind == "lock") {
        m_lock.reset(on ? new FileLock(file->path()) : nullptr);
        return !m_lock || m_lock->isHeld();
    }
    if (kind != "lost") {
        const QString away = kind + "_weg";
        return exec(QStringLiteral("ALTER TABLE ordisp RENAME COLUMN %1 TO %2")
                        .arg(on ? kind : away, on ? away : kind));
    }
    if (file) {
        const QString away = file->path() + ".weg";
        return QFile::rename(on ? file->path() : away, on ? away : file->path());
    }
    Database admin(QStringLiteral("DisplayAdmin"));
    const QString name = role->name();
    if (!admin.open(cluster().admin()) ||
        !admin.exec(QStringLiteral("ALTER ROLE %1 %2").arg(name, on ? "NOLOGIN" : "LOGIN")))
        return false;
    return on ? admin.exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE usename = " +
                           SqlText(name))
              : role->reconnect();
}

QStringList Display::tableCaptions() const {
    QStringList captions;
    for (int i = 1; button(QStringLiteral("cmdTisch%1").arg(i)); ++i)
        captions << button(QStringLiteral("cmdTisch%1").arg(i))->text();
    captions.removeAll(QString());
    return captions;
}

QList<qint64> Display::ids() const {
    QList<qint64> ids;
    const ResultSet& rs = form->listRs();
    for (const ResultRow& row : rs.rows())
        ids << row.at(rs.columnIndex(QStringLiteral("id"))).toLongLong();
    return ids;
}

qint64 Display::selected() const {
    const ResultSet& rs = form->listRs();
    const QModelIndexList rows = grid()->selectionModel()->selectedRows();
    if (rs.eof())
        return rows.isEmpty() ? 0 : -1;
    return rows.size() == 1 && rows.first().row() == rs.currentRow() ? FieldValue(rs, "id").toLongLong() : -1;
}

QStringList Display::cells() const {
    QStringList rows;
    const QAbstractItemModel* model = grid()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            cells << model->index(row, column).data().toString();
        rows << cells.join(QStringLiteral(" | "));
    }
    return rows;
}

} // namespace ordisp
