// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/mqtt/mqtt_publisher.h"

#include <mosquitto.h>

#include <QHostAddress>
#include <QHostInfo>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QtGlobal>
#include <array>
#include <cerrno>
#include <limits>

namespace kelvandor {

namespace {

constexpr int PublishQos = 0;
constexpr int WillQos = 1;
constexpr int CommandQos = 1;
constexpr int MaxLoggedChars = 64;
constexpr const char* SystemCaPath = "/etc/ssl/certs";

constexpr std::array<const char*, 4> KnownCommands{"get-information", "restart", "setup",
                                                   "select-satellite"};

void initLibraryOnce() {
    static const bool initialised = [] {
        mosquitto_lib_init();
        return true;
    }();
    Q_UNUSED(initialised);
}

// A libmosquitto result as text; MOSQ_ERR_ERRNO names the system error.
QString errorText(int rc) {
    if (rc == MOSQ_ERR_ERRNO) {
        return qt_error_string(errno);
    }
    return QString::fromUtf8(mosquitto_strerror(rc));
}

// Text from the broker made fit for one log line: control characters replaced, long text
// cut.
QString printable(const QString& text) {
    QString out = text.left(MaxLoggedChars);
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            c = QLatin1Char('?');
        }
    }
    return text.size() > MaxLoggedChars ? out + QStringLiteral("...") : out;
}

}  // namespace

MqttPublisher::MqttPublisher(MqttSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)) {
    initLibraryOnce();
    if (settings_.clientId.isEmpty()) {
        settings_.clientId = defaultMqttClientId();
    }
    clock_.start();
    housekeeping_.setInterval(HousekeepingMs);
    connect(&housekeeping_, &QTimer::timeout, this, &MqttPublisher::onHousekeeping);
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &MqttPublisher::connectToBroker);
    flushTimer_.setSingleShot(true);
    flushTimer_.setTimerType(Qt::PreciseTimer);
    connect(&flushTimer_, &QTimer::timeout, this, &MqttPublisher::onFlush);
    fullRepublish_.setInterval(FullRepublishMs);
    connect(&fullRepublish_, &QTimer::timeout, this, &MqttPublisher::onFullRepublish);
}

MqttPublisher::~MqttPublisher() {
    stop();
    if (mosq_ != nullptr) {
        mosquitto_destroy(mosq_);
    }
}

// --- units and their topics ------------------------------------------------------------

void MqttPublisher::setUnits(const QStringList& names) {
    for (const QString& name : names) {
        addUnit(name);
    }
}

void MqttPublisher::addUnit(const QString& name) {
    if (units_.contains(name)) {
        return;
    }
    unitOrder_ << name;
    Unit& unit = units_[name];
    updateDiscovery(name, unit, MqttDeviceInfo{});
}

void MqttPublisher::unitChanged(const QString& name, const QJsonObject& state) {
    addUnit(name);
    const MqttUnitValues values = mqttUnitValues(state);
    updateDiscovery(name, units_[name], values.device);
    const QString base = settings_.prefix + QLatin1Char('/') + name + QLatin1Char('/');
    for (const auto& [leaf, payload] : values.values) {
        setValue(base + leaf, payload, true);
    }
}

// The discovery configs carry the device block: they change when the product, versions
// or serial number become known.
void MqttPublisher::updateDiscovery(const QString& name, Unit& unit, const MqttDeviceInfo& device) {
    if (unit.discoveryDone && unit.device == device) {
        return;
    }
    unit.device = device;
    unit.discoveryDone = true;
    for (const MqttMessage& message : homeAssistantDiscovery(settings_, name, device)) {
        setValue(message.topic, message.payload, false);
    }
}

void MqttPublisher::setValue(const QString& topic, const QByteArray& payload, bool periodic) {
    auto it = topics_.find(topic);
    if (it == topics_.end()) {
        it = topics_.insert(topic, Topic{});
        it->periodic = periodic;
        it->lastSentMs = std::numeric_limits<qint64>::min() / 2;
        topicOrder_ << topic;
    } else if (it->latest == payload) {
        return;
    }
    it->latest = payload;
    if (it->hasPublished && it->published == payload) {
        pending_.remove(topic);  // back to what the broker holds: nothing to send
        return;
    }
    markPending(topic);
}

void MqttPublisher::markPending(const QString& topic) {
    pending_.insert(topic);
    if (phase_ != Phase::Connected) {
        return;  // everything goes out on connect
    }
    Topic& t = topics_[topic];
    const qint64 now = clock_.elapsed();
    const qint64 due = t.lastSentMs + MinPublishIntervalMs;
    if (due <= now) {
        sendTopic(topic, t, now);
        afterIo(MOSQ_ERR_SUCCESS);
    } else {
        scheduleFlush(due, now);
    }
}

void MqttPublisher::scheduleFlush(qint64 dueMs, qint64 now) {
    if (flushTimer_.isActive() && flushDueMs_ <= dueMs) {
        return;
    }
    flushDueMs_ = dueMs;
    flushTimer_.start(static_cast<int>(std::max<qint64>(0, dueMs - now)));
}

void MqttPublisher::sendTopic(const QString& topic, Topic& t, qint64 now) {
    publishRaw(topic, t.latest, true);
    t.published = t.latest;
    t.hasPublished = true;
    t.lastSentMs = now;
    pending_.remove(topic);
}

void MqttPublisher::onFlush() {
    if (phase_ != Phase::Connected) {
        return;
    }
    const qint64 now = clock_.elapsed();
    qint64 next = std::numeric_limits<qint64>::max();
    const QList<QString> due(pending_.begin(), pending_.end());
    for (const QString& topic : due) {
        Topic& t = topics_[topic];
        if (t.lastSentMs + MinPublishIntervalMs <= now) {
            sendTopic(topic, t, now);
        } else {
            next = std::min(next, t.lastSentMs + MinPublishIntervalMs);
        }
    }
    if (next != std::numeric_limits<qint64>::max()) {
        scheduleFlush(next, now);
    }
    afterIo(MOSQ_ERR_SUCCESS);
}

void MqttPublisher::onFullRepublish() {
    for (auto it = topics_.begin(); it != topics_.end(); ++it) {
        if (it->periodic) {
            pending_.insert(it.key());
        }
    }
    onFlush();
}

// On connect: the agent's "online", then every topic in the order it was first set
// (a unit's discovery configs before its values), whatever its last sending time.
void MqttPublisher::publishEverything() {
    publishRaw(mqttAgentAvailabilityTopic(settings_), "online", true);
    const qint64 now = clock_.elapsed();
    for (const QString& topic : std::as_const(topicOrder_)) {
        sendTopic(topic, topics_[topic], now);
    }
    pending_.clear();
    flushTimer_.stop();
}

void MqttPublisher::publishRaw(const QString& topic, const QByteArray& payload, bool retain) {
    const QByteArray name = topic.toUtf8();
    const int rc =
        mosquitto_publish(mosq_, nullptr, name.constData(), static_cast<int>(payload.size()),
                          payload.constData(), PublishQos, retain);
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN && rc != MOSQ_ERR_CONN_LOST) {
        qWarning("MQTT: cannot publish %s: %s", qPrintable(topic), qPrintable(errorText(rc)));
    }
}

// --- the connection ------------------------------------------------------------------

QString MqttPublisher::start() {
    if (phase_ != Phase::Idle) {
        return {};
    }
    mosq_ = mosquitto_new(settings_.clientId.toUtf8().constData(), true, this);
    if (mosq_ == nullptr) {
        return QStringLiteral("MQTT: cannot make a client with id \"%1\": %2")
            .arg(settings_.clientId, qt_error_string(errno));
    }
    QString error;
    int rc = MOSQ_ERR_SUCCESS;
    if (!settings_.username.isEmpty()) {
        rc = mosquitto_username_pw_set(mosq_, settings_.username.toUtf8().constData(),
                                       settings_.password.toUtf8().constData());
        if (rc != MOSQ_ERR_SUCCESS) {
            error = QStringLiteral("MQTT: the credentials cannot be used: %1").arg(errorText(rc));
        }
    }
    if (error.isEmpty() && settings_.tls) {
        const QByteArray caFile = settings_.caFile.toUtf8();
        rc =
            mosquitto_tls_set(mosq_, caFile.isEmpty() ? nullptr : caFile.constData(),
                              caFile.isEmpty() ? SystemCaPath : nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            error =
                QStringLiteral("MQTT: the CA file %1 cannot be used: %2")
                    .arg(caFile.isEmpty() ? QString::fromLatin1(SystemCaPath) : settings_.caFile,
                         errorText(rc));
        }
    }
    if (error.isEmpty()) {
        const QByteArray willTopic = mqttAgentAvailabilityTopic(settings_).toUtf8();
        rc = mosquitto_will_set(mosq_, willTopic.constData(), 7, "offline", WillQos, true);
        if (rc != MOSQ_ERR_SUCCESS) {
            error = QStringLiteral("MQTT: the last will cannot be set: %1").arg(errorText(rc));
        }
    }
    if (!error.isEmpty()) {
        mosquitto_destroy(mosq_);
        mosq_ = nullptr;
        return error;
    }
    mosquitto_connect_callback_set(mosq_, &MqttPublisher::connectThunk);
    mosquitto_message_callback_set(mosq_, &MqttPublisher::messageThunk);
    mosquitto_subscribe_callback_set(mosq_, &MqttPublisher::subscribeThunk);
    fullRepublish_.start();
    connectToBroker();
    return {};
}

void MqttPublisher::stop() {
    if (phase_ == Phase::Idle || phase_ == Phase::Stopped) {
        phase_ = Phase::Stopped;
        return;
    }
    if (phase_ == Phase::Connected) {
        // A clean disconnect does not fire the last will: say it ourselves. Both small
        // packets go to the socket's buffer at once.
        publishRaw(mqttAgentAvailabilityTopic(settings_), "offline", true);
        mosquitto_disconnect(mosq_);
        mosquitto_loop_write(mosq_, 1);
        Q_EMIT connectedChanged(false);
    }
    if (lookupId_ >= 0) {
        QHostInfo::abortHostLookup(lookupId_);
        lookupId_ = -1;
    }
    phase_ = Phase::Stopped;
    retryTimer_.stop();
    housekeeping_.stop();
    flushTimer_.stop();
    fullRepublish_.stop();
    dropSocketWatch();
}

void MqttPublisher::connectToBroker() {
    if (phase_ == Phase::Stopped) {
        return;
    }
    if (QHostAddress(settings_.host).isNull()) {
        phase_ = Phase::LookingUp;
        lookupId_ = QHostInfo::lookupHost(settings_.host, this, &MqttPublisher::onHostLookedUp);
    } else {
        openConnection(settings_.host);
    }
}

void MqttPublisher::onHostLookedUp(const QHostInfo& info) {
    lookupId_ = -1;
    if (phase_ != Phase::LookingUp) {
        return;
    }
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        scheduleRetry(QStringLiteral("cannot find %1: %2").arg(settings_.host, info.errorString()));
        return;
    }
    openConnection(settings_.tls ? settings_.host : info.addresses().constFirst().toString());
}

void MqttPublisher::openConnection(const QString& address) {
    phase_ = Phase::Connecting;
    connackRefused_ = false;
    commandsSubscribed_ = false;
    const int rc = mosquitto_connect_async(mosq_, address.toUtf8().constData(), settings_.port,
                                           settings_.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        scheduleRetry(errorText(rc));
        return;
    }
    housekeeping_.start();
    afterIo(MOSQ_ERR_SUCCESS);
}

void MqttPublisher::onReadable() {
    afterIo(mosquitto_loop_read(mosq_, 1));
}

void MqttPublisher::onWritable() {
    afterIo(mosquitto_loop_write(mosq_, 1));
}

void MqttPublisher::onHousekeeping() {
    afterIo(mosquitto_loop_misc(mosq_));
}

// After every call into libmosquitto: a failure or a closed socket ends the connection;
// otherwise the socket is watched for reading, and for writing while libmosquitto has
// bytes to send.
void MqttPublisher::afterIo(int rc) {
    if (phase_ != Phase::Connecting && phase_ != Phase::Connected) {
        return;
    }
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq_) < 0) {
        connectionLost(connackRefused_
                           ? QStringLiteral("the broker refused the connection")
                           : errorText(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc));
        return;
    }
    watchSocket();
    writeNotifier_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttPublisher::watchSocket() {
    const int fd = mosquitto_socket(mosq_);
    if (fd == socket_) {
        return;
    }
    dropSocketWatch();
    socket_ = fd;
    readNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &MqttPublisher::onReadable);
    writeNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &MqttPublisher::onWritable);
}

// The notifiers may be the very ones whose signal is being handled: they are disabled at
// once (libmosquitto may already have closed their descriptor) and deleted later.
void MqttPublisher::dropSocketWatch() {
    for (QSocketNotifier** notifier : {&readNotifier_, &writeNotifier_}) {
        if (*notifier != nullptr) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
    socket_ = -1;
}

void MqttPublisher::connectionLost(const QString& reason) {
    const bool wasConnected = phase_ == Phase::Connected;
    dropSocketWatch();
    housekeeping_.stop();
    flushTimer_.stop();
    scheduleRetry(reason);
    if (wasConnected) {
        Q_EMIT connectedChanged(false);
    }
}

void MqttPublisher::scheduleRetry(const QString& reason) {
    phase_ = Phase::WaitingToRetry;
    qWarning("MQTT: no connection to %s:%d (%s); trying again in %d s", qPrintable(settings_.host),
             int(settings_.port), qPrintable(reason), retryMs_ / 1000);
    retryTimer_.start(retryMs_);
    retryMs_ = std::min(retryMs_ * 2, LastRetryMs);
}

void MqttPublisher::connectThunk(mosquitto*, void* self, int rc) {
    static_cast<MqttPublisher*>(self)->onConnack(rc);
}

void MqttPublisher::subscribeThunk(mosquitto*, void* self, int, int count, const int* grantedQos) {
    auto* publisher = static_cast<MqttPublisher*>(self);
    // 0x80 in the granted list: the broker refused the subscription (its access list).
    if (count < 1 || grantedQos == nullptr || grantedQos[0] >= 0x80) {
        qWarning("MQTT: the broker refused the subscription to commands");
        return;
    }
    publisher->commandsSubscribed_ = true;
    qInfo("MQTT: taking commands on %s/+/command", qPrintable(publisher->settings_.prefix));
}

void MqttPublisher::messageThunk(mosquitto*, void* self, const mosquitto_message* message) {
    if (message != nullptr) {
        static_cast<MqttPublisher*>(self)->onMessage(*message);
    }
}

// Called from inside mosquitto_loop_read when the broker answers the connect.
void MqttPublisher::onConnack(int rc) {
    if (rc != 0) {
        connackRefused_ = true;
        qWarning("MQTT: %s refused the connection: %s", qPrintable(settings_.host),
                 mosquitto_connack_string(rc));
        return;
    }
    phase_ = Phase::Connected;
    retryMs_ = FirstRetryMs;
    qInfo("MQTT: connected to %s:%d as %s", qPrintable(settings_.host), int(settings_.port),
          qPrintable(settings_.clientId));
    if (settings_.controlAllowed) {
        const QByteArray filter = (settings_.prefix + QStringLiteral("/+/command")).toUtf8();
        mosquitto_subscribe(mosq_, nullptr, filter.constData(), CommandQos);
    }
    publishEverything();
    Q_EMIT connectedChanged(true);
}

// --- commands --------------------------------------------------------------------------

void MqttPublisher::onMessage(const mosquitto_message& message) {
    QString unit;
    QJsonObject command;
    const QString fault = checkCommand(message, unit, command);
    if (!fault.isEmpty()) {
        qWarning("MQTT: command on %s ignored: %s",
                 qPrintable(printable(QString::fromUtf8(message.topic))), qPrintable(fault));
        return;
    }
    Q_EMIT commandReceived(unit, command);
}

// Empty when the message is a command the agent may act on (then unit and command are
// set); otherwise why it is not.
QString MqttPublisher::checkCommand(const mosquitto_message& message, QString& unit,
                                    QJsonObject& command) const {
    if (!settings_.controlAllowed) {
        return QStringLiteral("control over MQTT is not allowed");
    }
    if (message.retain) {
        return QStringLiteral("a retained command is not acted on");
    }
    const QString topic = QString::fromUtf8(message.topic);
    const QString head = settings_.prefix + QLatin1Char('/');
    const QString tail = QStringLiteral("/command");
    if (!topic.startsWith(head) || !topic.endsWith(tail) ||
        topic.size() <= head.size() + tail.size()) {
        return QStringLiteral("not a command topic");
    }
    unit = topic.mid(head.size(), topic.size() - head.size() - tail.size());
    if (!units_.contains(unit)) {
        return QStringLiteral("unknown unit");
    }
    const QByteArray payload(static_cast<const char*>(message.payload), message.payloadlen);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return QStringLiteral("not a JSON object");
    }
    command = document.object();
    const QString name = command.value(QLatin1String("command")).toString();
    const bool known = std::any_of(KnownCommands.begin(), KnownCommands.end(),
                                   [&name](const char* c) { return name == QLatin1String(c); });
    if (!known) {
        return QStringLiteral("unknown command \"%1\"").arg(printable(name));
    }
    if (name == QLatin1String("select-satellite")) {
        const QString satellite = command.value(QLatin1String("satellite")).toString();
        if (satellite != QLatin1String("A") && satellite != QLatin1String("B")) {
            return QStringLiteral("select-satellite needs \"satellite\": \"A\" or \"B\"");
        }
    }
    return {};
}

}  // namespace kelvandor
