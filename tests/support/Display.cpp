#include "Display.h"

#include "DbHelpers.h"
#include "Password.h"

namespace ordisp {

namespace {
const QString kPassword = QStringLiteral(" Küche;1} ");
} // namespace

void AddBackends() {
    QTest::addColumn<QString>("backend");
    QTest::newRow("file") << QStringLiteral("file");
    QTest::newRow("server") << QStringLiteral("server");
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
        m_file = std::make_unique<TestDb>();
        m_error = m_file->errorText();
        return;
    }
    // A role per test program: programs may run side by side.
    m_role = std::make_unique<ScratchRole>(cluster(), "ordisp_" + QCoreApplication::applicationName(),
                                           kPassword, QStringList{"DateStyle = 'ISO, DMY'"});
    if (!m_role->isValid() || !m_role->initTables())
        m_error = m_role->errorText();
}

Display::~Display() {
    form.reset();
    detail.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString Display::databaseLines() const {
    if (m_file)
        return QStringLiteral("[DATABASE]\nTYP=MS-JET\n[PFADE]\nDATENBANK=%1\n").arg(m_file->folder());
    return QStringLiteral("[DATABASE]\nTYP=MS-SQL\nSERVER=%1\nUSER=%2\nPWDC=%3\n")
        .arg(cluster().dsn(), m_role->name(), EncodePassword(kPassword));
}

bool Display::startup(const QString& ini) {
    config.write(ini.toUtf8());
    outcome = config.run(messages, clock.now());
    m_error += messages.texts().join(QLatin1Char('\n'));
    return outcome.showMainWindow;
}

void Display::openWindows() {
    detail = std::make_unique<frmTischDetail>(*outcome.db, outcome.config.monitorNr, messages, screen);
    form = std::make_unique<Form1>(*outcome.db, outcome.config, messages, screen, clock, detail.get());
    detail->setKitchenSignals(form->kitchenSignals());
}

bool Display::start() {
    if (!m_error.isEmpty() ||
        !startup(databaseLines() + QStringLiteral("[ORDISP]\nORDISPNR=%1\n").arg(m_monitorNr)))
        return false;
    openWindows();
    return true;
}

Database& Display::side() {
    if (m_role)
        return m_role->side();
    if (!m_side) {
        m_side = std::make_unique<Database>(QStringLiteral("DisplaySide"));
        (void)m_side->open(m_file->settings());
    }
    return *m_side;
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

QString Display::storedStatus(qint64 id) {
    ResultData data;
    if (!side().select(QStringLiteral("SELECT status FROM ordisp WHERE id = %1").arg(id), &data) ||
        data.rows.isEmpty())
        return QString();
    const QVariant status = data.rows.first().first();
    return status.isNull() ? QStringLiteral("null") : QString::number(status.toInt());
}

bool Display::cutOff(bool off) {
    if (m_file) {
        const QString away = m_file->path() + QStringLiteral(".weg");
        return off ? QFile::rename(m_file->path(), away) : QFile::rename(away, m_file->path());
    }
    Database admin(QStringLiteral("DisplayAdmin"));
    const QString role = m_role->name();
    if (!admin.open(cluster().admin()) ||
        !admin.exec(QStringLiteral("ALTER ROLE %1 %2").arg(role, off ? "NOLOGIN" : "LOGIN")))
        return false;
    return off ? admin.exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE usename = " +
                            SqlText(role))
               : m_role->reconnect();
}

int Display::tableButton(const QString& caption) const {
    for (int i = 0; button(QStringLiteral("cmdTisch%1").arg(i)); ++i) {
        if (button(QStringLiteral("cmdTisch%1").arg(i))->text() == caption)
            return i;
    }
    return -1;
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

void Display::select(qint64 id) const {
    grid()->selectRow(int(ids().indexOf(id)));
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
