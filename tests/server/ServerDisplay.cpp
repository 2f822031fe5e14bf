#include "ServerDisplay.h"

#include "DbHelpers.h"
#include "ResultSetModel.h"

#include <QCoreApplication>
#include <QItemSelectionModel>

namespace ordisp {

namespace {

const QString kPassword = QStringLiteral("Anzeige 1");

} // namespace

ServerDisplay::ServerDisplay(const PgCluster& cluster, const QString& roleName, int monitorNr)
    : role(cluster, roleName, kPassword)
    , m_cluster(cluster)
    , m_monitorNr(monitorNr) {}

ServerDisplay::~ServerDisplay() {
    form.reset();
    detail.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool ServerDisplay::prepare() {
    return role.isValid() && role.initTables();
}

bool ServerDisplay::start() {
    config.write(m_cluster.dsn(), role.name(), {QStringLiteral("PWD=") + kPassword}, m_monitorNr);
    outcome = config.run(messages, clock.now());
    if (!outcome.showMainWindow) {
        m_error = messages.texts().join(QLatin1Char('\n'));
        return false;
    }
    detail = std::make_unique<frmTischDetail>(*outcome.db, outcome.config.monitorNr, messages, screen);
    form = std::make_unique<Form1>(*outcome.db, outcome.config, messages, screen, clock, detail.get());
    return true;
}

QString ServerDisplay::errorText() const {
    return m_error.isEmpty() ? role.errorText() : m_error;
}

qint64 ServerDisplay::add(int table, int course, int guest, std::optional<int> status,
                          const QDateTime& insdate, const QString& text, int monitor, double quantity) {
    OrderInput order;
    order.monitorNr = monitor;
    order.table = table;
    order.course = course;
    order.guest = guest;
    order.quantity = quantity;
    order.text = text;
    order.status = status;
    order.insdate = insdate;
    DbError error;
    if (!InsertOrder(role.side(), order, &error)) {
        m_error = error.description;
        return -1;
    }
    return role.scalar(QStringLiteral("SELECT max(id) FROM ordisp")).toLongLong();
}

int ServerDisplay::tableButton(const QString& caption) const {
    for (int i = 1; table(i); ++i) {
        if (table(i)->text() == caption)
            return i;
    }
    return -1;
}

QStringList ServerDisplay::tableCaptions() const {
    QStringList captions;
    for (int i = 1; table(i); ++i) {
        if (!table(i)->text().isEmpty())
            captions << table(i)->text();
    }
    return captions;
}

QList<qint64> ServerDisplay::ids() const {
    QList<qint64> result;
    const ResultSet& rs = form->listRs();
    const int column = rs.columnIndex(QStringLiteral("id"));
    for (const ResultRow& row : rs.rows())
        result << row.at(column).toLongLong();
    return result;
}

qint64 ServerDisplay::selected() const {
    const ResultSet& rs = form->listRs();
    const QModelIndexList rows = grid()->selectionModel()->selectedRows();
    if (rs.eof())
        return rows.isEmpty() ? 0 : -1;
    if (rows.size() != 1 || rows.first().row() != rs.currentRow())
        return -1;
    return FieldValue(rs, QStringLiteral("id")).toLongLong();
}

void ServerDisplay::select(qint64 id) const {
    grid()->selectRow(int(ids().indexOf(id)));
}

QStringList ServerDisplay::cells() const {
    QStringList rows;
    const QAbstractItemModel* model = grid()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            cells << model->data(model->index(row, column)).toString();
        rows << cells.join(QStringLiteral(" | "));
    }
    return rows;
}

QString ServerDisplay::storedStatus(qint64 id) {
    ResultData data;
    if (!role.side().select(QStringLiteral("SELECT status FROM ordisp WHERE id = %1").arg(id), &data) ||
        data.rows.isEmpty())
        return QString();
    const QVariant status = data.rows.first().first();
    return status.isNull() ? QStringLiteral("null") : QString::number(status.toInt());
}

} // namespace ordisp
