// SPDX-License-Identifier: GPL-3.0-or-later
// Load Default and Update Default: a default set read from a ".rif" file is shown in the
// main window and the pages as if the antenna had reported it, and written into the
// antenna one command at a time, each followed by a bounded wait for its echo.
#include <QCoreApplication>
#include <QProgressBar>
#include <algorithm>
#include <array>
#include <initializer_list>

#include "defaults/rif_reader.h"
#include "geo/pointing.h"
#include "protocol/frame_codec.h"
#include "shell/main_dialog.h"
#include "shell/product_size_dialog.h"
#include "ui/lenient_numbers.h"
#include "ui/prompter.h"

namespace kelvandor {

namespace {

namespace id = main_id;
namespace f = profile;

constexpr std::int32_t SkewAdjustScale = 10;
constexpr double SkewScale = 100.0;
constexpr int GpsDivisor = 100;  // whole degrees of a DDD.MM position in hundredths

using Params = FrameParams;
namespace df = default_frames;

// Update Default over the window's link: each awaited step arms the link driver's wait
// before its command goes out, so an echo that comes late for the step before can never
// answer it. Between steps the window takes its events, as it does during a wait.
class WindowUpdateLine : public UpdateLine {
  public:
    WindowUpdateLine(MainDialog& window, LinkDriver& link, QProgressBar& bar)
        : window_(window), link_(link), bar_(bar) {}

    void expectReply(CommandId reply, std::optional<std::int32_t> index) override {
        link_.expectReply(reply, index);
    }
    bool send(CommandId command, const std::int32_t* params) override {
        return link_.sendCommand(command, params);
    }
    bool waitForReply(int timeoutMs) override {
        link_.waitForReply(timeoutMs);
        return link_.lastWaitAnswered();
    }
    void pause(int ms) override { ui::prompter().pause(ms); }
    void beforeUnawaitedStep() override {
        // The step before ended with a pause, and this one waits for nothing: let the
        // window take its events between the two pauses, so that it never stands still
        // for two pauses in a row.
        QCoreApplication::processEvents();
    }
    bool stopRequested() const override { return link_.isShuttingDown(); }
    void stepDone(const UpdateStep& step, int /*index*/) override {
        if (step.progress != NoProgress) {
            bar_.setValue(step.progress);
        }
        if (step.endsSatellites) {
            window_.showSatelliteCountWritten();
        }
    }

  private:
    MainDialog& window_;
    LinkDriver& link_;
    QProgressBar& bar_;
};

QString loadFailure(const QString& path, const RifReadResult& result) {
    if (result.status == RifReadResult::Status::LaterVersion) {
        return QString::fromLatin1(RifLaterVersionMessage);
    }
    return QStringLiteral("The default set \"%1\" cannot be loaded: %2. Nothing was changed.")
        .arg(path, QString::fromStdString(result.message));
}

}  // namespace

void MainDialog::deliverLocal(CommandId commandId, const std::int32_t* params,
                              std::initializer_list<ReplyListener*> receivers) {
    for (ReplyListener* receiver : receivers) {
        receiver->onReply(commandId, params);
    }
}

void MainDialog::onLoadDefault() {
    if (updateRunning_) {
        return;
    }
    const QString path =
        ui::prompter().openFileName(QStringLiteral("RIF Files (*.rif)"), QStringLiteral("RIF"));
    if (path.isEmpty()) {
        return;
    }
    if (model_.productSize == -1) {
        ProductSizeDialog dialog(this);
        ui::prompter().runDialog(dialog);
        model_.productSize = dialog.selection;
        if (model_.productSize == -1) {
            return;
        }
    }
    if (model_.productSize < 0 || model_.productSize >= ProductSizeCount) {
        // A size the antenna reported but the default sets have no profile for: the next
        // Load Default asks for the size again.
        model_.productSize = -1;
        return;
    }
    DefaultSet loaded = defaultSet;
    const RifReadResult result = readRifFile(path.toStdString(), loaded);
    if (!result.ok()) {
        ui::prompter().message(loadFailure(path, result), ui::Buttons::Ok,
                               result.status == RifReadResult::Status::LaterVersion
                                   ? ui::Icon::None
                                   : ui::Icon::Warning);
        return;
    }
    defaultSet = std::move(loaded);
    model_.rifPath = path.toStdString();
    model_.regionVersion = defaultSet.regionVersion;
    model_.regionName = defaultSet.regionName;
    std::copy(defaultSet.skewAdjust.begin(), defaultSet.skewAdjust.end(),
              model_.skewAdjust.begin());
    deliverDefaultSet(defaultSet.productProfiles[static_cast<std::size_t>(model_.productSize)]);
    parameterPage.showRegionVersion(QString::fromStdString(model_.regionName),
                                    model_.regionVersion);
    enableControl(id::UpdateDefault, true);
    if (!result.notes.empty()) {
        QString text = QStringLiteral("The default set was loaded with these changes:");
        for (const std::string& note : result.notes) {
            text += QStringLiteral("\n- ") + QString::fromStdString(note);
        }
        ui::prompter().message(text, ui::Buttons::Ok, ui::Icon::Information);
    }
}

void MainDialog::deliverDefaultSet(const ProductProfile& p) {
    for (int i = 0; i < RifSatelliteCount; ++i) {
        const RifSatellite& s = defaultSet.satellites[static_cast<std::size_t>(i)];
        Params params = df::definition(s, i, false);
        deliverLocal(cmd::NI, params.data(), {this, &satelliteInfoPage});
        params = df::definition(s, i, true);
        deliverLocal(cmd::Nu, params.data(), {this});
        params = df::tracking(s, i, false);
        deliverLocal(cmd::NT, params.data(), {this, &satelliteInfoPage, &primaryTrackingPage});
        params = df::tracking(s, i, true);
        deliverLocal(cmd::NU, params.data(), {this, &secondaryTrackingPage});
    }
    const LnbPair lnb = lnbPair(p);
    showSatelliteCountWritten();
    Params params;
    params = df::of({lnb.low, lnb.high, 0});
    deliverLocal(cmd::NL, params.data(), {this, &satelliteInfoPage});
    params = df::of({lnb.low, lnb.high, 1});
    deliverLocal(cmd::NL, params.data(), {this, &satelliteInfoPage});
    params = df::of({p[f::TripleMode]});
    deliverLocal(cmd::TR, params.data(), {this, &satelliteInfoPage, &movePage});
    params = df::slots(p);
    deliverLocal(cmd::NP, params.data(), {this});
    params = df::of({0});
    deliverLocal(
        cmd::NS, params.data(),
        {this, &gpsPage, &satelliteInfoPage, &primaryTrackingPage, &secondaryTrackingPage});
    params = df::gps(p);
    deliverLocal(cmd::NG, params.data(), {this, &gpsPage});
    params = df::scan(p, p[f::ScanOffset]);
    deliverLocal(cmd::NR, params.data(), {this, &parameterPage});
    params = df::flags(p);
    deliverLocal(cmd::NF, params.data(), {this, &parameterPage});
    params = df::control(p);
    deliverLocal(cmd::NC, params.data(), {this, &parameterPage});
    params = df::antenna(p);
    deliverLocal(cmd::Np, params.data(), {this, &parameterPage});
    ui::prompter().pause(UpdateStepPauseMs);
    params = df::of({p[f::DiseqcMode]});
    deliverLocal(
        cmd::NQ, params.data(),
        {this, &satelliteInfoPage, &primaryTrackingPage, &secondaryTrackingPage, &movePage});
    for (int slot = 0; slot < RifSlotCount; ++slot) {
        params = df::of({slot, slotSkew(p, slotSatellite(p, slot)),
                         defaultSet.skewAdjust[static_cast<std::size_t>(slotSatellite(p, slot))] *
                             SkewAdjustScale});
        deliverLocal(cmd::NK, params.data(), {&movePage});
    }
}

std::int32_t MainDialog::slotSkew(const ProductProfile& p, int satellite) const {
    const SatelliteRecord* record = model_.satellites.at(satellite);
    if (record == nullptr) {
        return 0;
    }
    // The skew is computed for the whole degrees of the set's GPS position.
    const double skew = geo::computeSkew(
        record->primary.longitude, record->primary.eastWest, p[f::GpsEastWest], p[f::GpsNorthSouth],
        p[f::GpsLongitude] / GpsDivisor, p[f::GpsLatitude] / GpsDivisor);
    return ui::truncateToInt32(skew * SkewScale);
}

void MainDialog::onUpdateDefault() {
    if (updateRunning_) {
        return;
    }
    if (serialPort.isOpen == 0) {
        ui::prompter().message(
            QStringLiteral("The antenna is not connected: connect it on the Serial "
                           "Communication page first. Nothing was sent."),
            ui::Buttons::Ok, ui::Icon::Warning);
        return;
    }
    if (model_.antennaState != 0) {
        ui::prompter().message(QStringLiteral("Antenna is not SETUP mode."), ui::Buttons::OkCancel,
                               ui::Icon::Warning);
        return;
    }
    const int size = model_.productSize;
    if (size < 0 || size >= ProductSizeCount) {
        ui::prompter().message(
            QStringLiteral("The antenna reports a product size (%1) for which the default set "
                           "has no profile. Nothing was sent.")
                .arg(size),
            ui::Buttons::Ok, ui::Icon::Warning);
        return;
    }
    const QString question = QStringLiteral("Do you want to update default set \"%1\" ?")
                                 .arg(QString::fromStdString(model_.rifPath));
    if (ui::prompter().message(question, ui::Buttons::YesNo, ui::Icon::None) != ui::Answer::Yes) {
        return;
    }

    updateRunning_ = true;
    enableControl(id::LoadDefault, false);
    enableControl(id::UpdateDefault, false);
    QProgressBar* bar = progressBar(id::Progress);
    bar->setRange(0, UpdateProgressSteps);
    bar->setValue(1);
    bar->show();

    const UpdateOutcome outcome =
        writeDefaultSet(defaultSet.productProfiles[static_cast<std::size_t>(size)]);
    link_.expectReply(LinkDriver::NoReply, std::nullopt);  // nothing late counts any more
    updateRunning_ = false;
    if (link_.isShuttingDown()) {
        return;  // the window closed during the run: no box behind it
    }
    enableControl(id::LoadDefault, true);
    enableControl(id::UpdateDefault, true);
    parameterPage.showRegionVersion(QString::fromStdString(model_.regionName),
                                    model_.regionVersion);
    bar->setValue(0);
    const int missing = static_cast<int>(outcome.missing.size());
    if (outcome.writeFailed) {
        ui::prompter().message(
            QStringLiteral("Default update stopped: step %1 could not be sent to the antenna, "
                           "and the steps after it were not sent. The antenna may not hold the "
                           "whole default set: check the connection and run Update Default "
                           "again.")
                .arg(outcome.sent + 1),
            ui::Buttons::Ok, ui::Icon::Warning);
    } else if (missing == 0) {
        ui::prompter().message(QStringLiteral("Default update complete successfully."),
                               ui::Buttons::Ok, ui::Icon::None);
    } else {
        ui::prompter().message(
            QStringLiteral("Default update finished, but %1 of %2 steps got no reply from the "
                           "antenna. The antenna may not hold the whole default set: check the "
                           "connection and run Update Default again.")
                .arg(missing)
                .arg(outcome.awaited),
            ui::Buttons::Ok, ui::Icon::Warning);
    }
    bar->hide();
}

void MainDialog::showSatelliteCountWritten() {
    const Params params = df::of({RifSatelliteCount});
    deliverLocal(
        cmd::NN, params.data(),
        {this, &gpsPage, &satelliteInfoPage, &primaryTrackingPage, &secondaryTrackingPage});
}

UpdateOutcome MainDialog::writeDefaultSet(const ProductProfile& p) {
    WindowUpdateLine line(*this, link_, *progressBar(id::Progress));
    return runUpdateSteps(buildUpdateSteps(defaultSet, p), line, updateReplyTimeoutMs);
}

}  // namespace kelvandor
