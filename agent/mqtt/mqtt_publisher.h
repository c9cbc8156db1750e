// SPDX-License-Identifier: GPL-3.0-or-later
// Publishes the agent's units to an MQTT broker, with Home Assistant discovery, and takes
// commands from it when control is allowed.
//
// libmosquitto runs on the Qt event loop that serves the units: its socket is watched by
// QSocketNotifiers, its housekeeping (keep-alive pings) runs on a one-second QTimer, and
// the connection is opened with mosquitto_connect_async, so nothing here waits for the
// broker. The host name is looked up through QHostInfo (on Qt's lookup thread) before
// libmosquitto sees it; for a plain connection libmosquitto is given the address found.
// A TLS connection must give it the name (the certificate is checked against it), so
// libmosquitto looks the name up once more, on the event loop: that second lookup follows
// one that has just succeeded and normally answers at once, but a resolver that stalls
// between the two would hold the loop for its time-out.
//
// Every value is published retained, when it changes and at most once a second per topic
// (the latest value wins; a change is sent at the end of its second at the latest), and
// each unit's values again every five minutes. Publishing is QoS 0: after any reconnect
// every value is published afresh, and a queue kept across the outage would only replay
// stale values after the fresh ones.
//
// One last will for the whole agent: PREFIX/agent/availability becomes "offline"
// (retained) when the agent drops off without saying goodbye; every unit's entities
// name both that topic and the unit's own PREFIX/UNIT/availability (the line), so Home
// Assistant marks them unavailable when either says offline.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "agent/mqtt/mqtt_settings.h"
#include "agent/mqtt/mqtt_unit_topics.h"

struct mosquitto;
struct mosquitto_message;
class QHostInfo;
class QSocketNotifier;

namespace kelvandor {

class MqttPublisher : public QObject {
    Q_OBJECT
  public:
    static constexpr int MinPublishIntervalMs = 1000;      // per topic
    static constexpr int FullRepublishMs = 5 * 60 * 1000;  // each unit's values again
    static constexpr int FirstRetryMs = 1000;              // doubling after each failure
    static constexpr int LastRetryMs = 60 * 1000;
    static constexpr int HousekeepingMs = 1000;  // mosquitto_loop_misc

    explicit MqttPublisher(MqttSettings settings, QObject* parent = nullptr);
    ~MqttPublisher() override;

    // The units the agent serves; their discovery configs are published on connect.
    // Names already known stay; a unit is never withdrawn.
    void setUnits(const QStringList& names);

    // A unit's whole state (the agent's GET /api/v1/units/NAME object) after a change.
    // Cheap to call at every report: only what changed reaches the broker, at most once a
    // second per topic. A name not given to setUnits becomes a unit.
    void unitChanged(const QString& name, const QJsonObject& state);

    // Starts connecting, and from then on keeps the connection, retrying with back-off
    // while the broker cannot be reached. Returns an empty string, or a message when
    // libmosquitto refuses the settings (a TLS file that cannot be used); then nothing is
    // started.
    QString start();

    // Says "offline" on the agent's topic and disconnects; no retry follows.
    void stop();

    bool isConnected() const { return phase_ == Phase::Connected; }

    // True once the broker has confirmed the subscription to PREFIX/+/command (only when
    // control is allowed), until the connection ends.
    bool takesCommands() const { return phase_ == Phase::Connected && commandsSubscribed_; }

  Q_SIGNALS:
    // A valid command for a known unit on PREFIX/UNIT/command (only when control is
    // allowed; the broker is not even asked for commands otherwise).
    void commandReceived(const QString& unit, const QJsonObject& command);
    void connectedChanged(bool connected);

  private:
    enum class Phase { Idle, LookingUp, Connecting, Connected, WaitingToRetry, Stopped };

    // One retained topic: the value it should hold and when it was last sent.
    struct Topic {
        QByteArray latest;
        QByteArray published;
        bool hasPublished = false;
        bool periodic = false;  // part of the five-minute republish
        qint64 lastSentMs = 0;
    };

    struct Unit {
        MqttDeviceInfo device;
        bool discoveryDone = false;
    };

    void addUnit(const QString& name);
    void updateDiscovery(const QString& name, Unit& unit, const MqttDeviceInfo& device);
    void setValue(const QString& topic, const QByteArray& payload, bool periodic);
    void markPending(const QString& topic);
    void sendTopic(const QString& topic, Topic& t, qint64 now);
    void publishEverything();
    void onFlush();
    void onFullRepublish();
    void scheduleFlush(qint64 dueMs, qint64 now);

    void connectToBroker();
    void onHostLookedUp(const QHostInfo& info);
    void openConnection(const QString& address);
    void onReadable();
    void onWritable();
    void onHousekeeping();
    void afterIo(int rc);
    void watchSocket();
    void dropSocketWatch();
    void connectionLost(const QString& reason);
    void scheduleRetry(const QString& reason);
    void publishRaw(const QString& topic, const QByteArray& payload, bool retain);

    void onConnack(int rc);
    void onMessage(const mosquitto_message& message);
    QString checkCommand(const mosquitto_message& message, QString& unit,
                         QJsonObject& command) const;

    static void connectThunk(mosquitto* m, void* self, int rc);
    static void subscribeThunk(mosquitto* m, void* self, int mid, int count, const int* grantedQos);
    static void messageThunk(mosquitto* m, void* self, const mosquitto_message* message);

    MqttSettings settings_;
    mosquitto* mosq_ = nullptr;
    Phase phase_ = Phase::Idle;
    int lookupId_ = -1;
    int socket_ = -1;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QTimer housekeeping_;
    QTimer retryTimer_;
    int retryMs_ = FirstRetryMs;
    bool connackRefused_ = false;
    bool commandsSubscribed_ = false;

    QElapsedTimer clock_;
    QStringList unitOrder_;
    QHash<QString, Unit> units_;
    QStringList topicOrder_;  // publishing order on connect: configs before values
    QHash<QString, Topic> topics_;
    QSet<QString> pending_;
    QTimer flushTimer_;
    qint64 flushDueMs_ = 0;
    QTimer fullRepublish_;
};

}  // namespace kelvandor
