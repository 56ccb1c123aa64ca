// A reviewed plan as a file keeps it: read back as foreign input, strictly.

#include "core/exchange/store.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace {

QJsonObject writeObject(const WheelStorePlan::Write& write) {
    return {{QStringLiteral("position"), write.position},
            {QStringLiteral("rowid"), write.rowid},
            {QStringLiteral("now"), write.now},
            {QStringLiteral("chosen"), write.chosen}};
}

// Reads one plan file strictly: every key known, each value of its type, nothing repeated. The
// first fault ends the reading with where it stands ("plan entry 2, writes entry 3: ...").
class PlanReader {
public:
    bool read(const QJsonObject& root, SavedPlan* plan) {
        if (!keys(root, {"format", "installation", "plan"}, QString()))
            return false;
        if (root.value(QStringLiteral("format")) != QJsonValue(SavedPlan::Format))
            return fault(QString(), QStringLiteral("it is not a plan of format %1").arg(SavedPlan::Format));
        const QJsonObject installation = root.value(QStringLiteral("installation")).toObject();
        if (!keys(installation, {"configuration", "stand", "scanUnit"}, QStringLiteral("installation")) ||
            !text(installation, "configuration", QStringLiteral("installation"),
                  &plan->identity.configuration) ||
            !text(installation, "stand", QStringLiteral("installation"), &plan->identity.stand) ||
            !text(installation, "scanUnit", QStringLiteral("installation"), &plan->identity.scanUnit))
            return false;
        if (!root.value(QStringLiteral("plan")).isArray())
            return fault(QString(), QStringLiteral("'plan' is not a list of wheels"));
        QSet<QString> wheels;
        const QJsonArray entries = root.value(QStringLiteral("plan")).toArray();
        for (int n = 0; n < entries.size(); ++n) {
            WheelStorePlan wheel;
            const QString where = QStringLiteral("plan entry %1").arg(n + 1);
            if (!readWheel(entries[n], where, &wheel))
                return false;
            if (wheels.contains(wheel.availableId))
                return fault(where, QStringLiteral("the wheel '%1' is planned twice").arg(wheel.availableId));
            wheels.insert(wheel.availableId);
            plan->wheels.push_back(std::move(wheel));
        }
        return true;
    }
    Result error;

private:
    bool fault(const QString& where, const QString& what) {
        error = Result::make(dberr::BadFile, where.isEmpty() ? what : where + QStringLiteral(": ") + what);
        return false;
    }
    bool keys(const QJsonObject& object, std::initializer_list<const char*> known, const QString& where) {
        QSet<QString> allowed;
        for (const char* key : known)
            allowed.insert(QString::fromLatin1(key));
        for (const QString& key : object.keys())
            if (!allowed.contains(key))
                return fault(where, QStringLiteral("'%1' is no part of a plan").arg(key));
        for (const QString& key : std::as_const(allowed))
            if (!object.contains(key))
                return fault(where, QStringLiteral("'%1' is missing").arg(key));
        return true;
    }
    bool text(const QJsonObject& object, const char* key, const QString& where, QString* value) {
        const QJsonValue field = object.value(QLatin1String(key));
        if (!field.isString())
            return fault(where, QStringLiteral("'%1' is not a text").arg(QLatin1String(key)));
        *value = field.toString();
        return true;
    }
    bool position(const QJsonObject& object, const QString& where, int* value) {
        const QJsonValue field = object.value(QStringLiteral("position"));
        const double number = field.toDouble(-1);
        if (!field.isDouble() || number != double(int(number)) || number < 1 ||
            number > wheels::PositionsPerWheel)
            return fault(where, QStringLiteral("'position' is not a whole number from 1 to %1")
                                    .arg(wheels::PositionsPerWheel));
        *value = int(number);
        return true;
    }
    bool readWheel(const QJsonValue& value, const QString& where, WheelStorePlan* wheel) {
        const QJsonObject object = value.toObject();
        if (!value.isObject() || !keys(object, {"idAvailable", "hasRows", "writes", "notWritten"}, where) ||
            !text(object, "idAvailable", where, &wheel->availableId))
            return false;
        if (wheel->availableId.isEmpty())
            return fault(where, QStringLiteral("'idAvailable' is empty"));
        if (!object.value(QStringLiteral("hasRows")).isBool())
            return fault(where, QStringLiteral("'hasRows' is not true or false"));
        wheel->hasRows = object.value(QStringLiteral("hasRows")).toBool();
        QSet<int> positions;
        const QJsonArray writes = object.value(QStringLiteral("writes")).toArray();
        for (int n = 0; n < writes.size(); ++n) {
            const QString at = where + QStringLiteral(", writes entry %1").arg(n + 1);
            const QJsonObject entry = writes[n].toObject();
            WheelStorePlan::Write write{};
            const double rowid = entry.value(QStringLiteral("rowid")).toDouble(-1);
            if (!keys(entry, {"position", "rowid", "now", "chosen"}, at) ||
                !position(entry, at, &write.position) || !text(entry, "now", at, &write.now) ||
                !text(entry, "chosen", at, &write.chosen))
                return false;
            if (rowid < 1 || rowid != double(qint64(rowid)))
                return fault(at, QStringLiteral("'rowid' is not a row number"));
            write.rowid = qint64(rowid);
            if (positions.contains(write.position))
                return fault(at, QStringLiteral("position %1 is planned twice").arg(write.position));
            positions.insert(write.position);
            wheel->writes.push_back(write);
        }
        const QJsonArray notWritten = object.value(QStringLiteral("notWritten")).toArray();
        for (int n = 0; n < notWritten.size(); ++n) {
            const QString at = where + QStringLiteral(", notWritten entry %1").arg(n + 1);
            const QJsonObject entry = notWritten[n].toObject();
            int place = 0;
            QString why;
            if (!keys(entry, {"position", "why"}, at) || !position(entry, at, &place) ||
                !text(entry, "why", at, &why))
                return false;
            if (positions.contains(place))
                return fault(at, QStringLiteral("position %1 is planned twice").arg(place));
            positions.insert(place);
            wheel->notWritten.emplace_back(place, why);
        }
        if (!object.value(QStringLiteral("writes")).isArray() ||
            !object.value(QStringLiteral("notWritten")).isArray())
            return fault(where, QStringLiteral("'writes' and 'notWritten' are lists"));
        return true;
    }
};

} // namespace

QByteArray planJson(const SavedPlan& plan) {
    QJsonArray wheels;
    for (const WheelStorePlan& wheel : plan.wheels) {
        QJsonArray writes;
        for (const WheelStorePlan::Write& write : wheel.writes)
            writes.append(writeObject(write));
        QJsonArray notWritten;
        for (const auto& [position, why] : wheel.notWritten)
            notWritten.append(
                QJsonObject{{QStringLiteral("position"), position}, {QStringLiteral("why"), why}});
        wheels.append(QJsonObject{{QStringLiteral("idAvailable"), wheel.availableId},
                                  {QStringLiteral("hasRows"), wheel.hasRows},
                                  {QStringLiteral("writes"), writes},
                                  {QStringLiteral("notWritten"), notWritten}});
    }
    const QJsonObject installation{{QStringLiteral("configuration"), plan.identity.configuration},
                                   {QStringLiteral("stand"), plan.identity.stand},
                                   {QStringLiteral("scanUnit"), plan.identity.scanUnit}};
    return QJsonDocument(QJsonObject{{QStringLiteral("format"), SavedPlan::Format},
                                     {QStringLiteral("installation"), installation},
                                     {QStringLiteral("plan"), wheels}})
        .toJson();
}

bool parsePlanJson(const QByteArray& json, SavedPlan* plan, Result* error) {
    *plan = SavedPlan();
    if (json.size() > SavedPlan::MaxSize) {
        *error = Result::make(
            dberr::BadFile,
            QStringLiteral("it is larger than a plan may be (%1 KiB)").arg(SavedPlan::MaxSize / 1024));
        return false;
    }
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject()) {
        *error = Result::make(dberr::BadFile, parsed.error != QJsonParseError::NoError
                                                  ? QStringLiteral("its JSON breaks off at character %1 (%2)")
                                                        .arg(parsed.offset)
                                                        .arg(parsed.errorString())
                                                  : QStringLiteral("it holds no plan"));
        return false;
    }
    PlanReader reader;
    if (!reader.read(document.object(), plan)) {
        *error = reader.error;
        *plan = SavedPlan();
        return false;
    }
    return true;
}
