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

constexpr int StepPauseMs = 100;
constexpr int UpdateProgressSteps = 21;
constexpr int SatelliteProgressBase = 0;  // satellite i ends at position i + 1
constexpr std::int32_t SkewAdjustScale = 10;
constexpr double SkewScale = 100.0;
constexpr int GpsDivisor = 100;  // whole degrees of a DDD.MM position in hundredths

using Params = std::array<std::int32_t, LinkDriver::ParamSlots>;

// NI / EI (or Nu / Eu) parameters of satellite `i`: index, six values, the name.
Params definitionParams(const RifSatellite& s, int i, bool secondary) {
    Params p{};
    p[0] = i;
    const auto& values = secondary ? s.secondarySat : s.primarySat;
    std::copy(values.begin(), values.end(), p.begin() + 1);
    packWireName(s.satName.c_str(), &p[1 + RifSatelliteValues]);
    return p;
}

// NT / ET (or NU / EU) parameters of satellite `i`: index, ten values.
Params trackingParams(const RifSatellite& s, int i, bool secondary) {
    Params p{};
    p[0] = i;
    const auto& values = secondary ? s.secondaryTracking : s.primaryTracking;
    std::copy(values.begin(), values.end(), p.begin() + 1);
    return p;
}

Params paramsOf(std::initializer_list<std::int32_t> values) {
    Params p{};
    std::copy(values.begin(), values.end(), p.begin());
    return p;
}

// The profile's fields in the order of the frames that carry them: the same for the report
// that Load Default delivers in the window and the command Update Default sends.
Params slotParams(const ProductProfile& p) {
    return paramsOf({slotSatellite(p, 0), slotSatellite(p, 1), slotSatellite(p, 2),
                     slotSatellite(p, 3), slotSatellite(p, 4)});
}

Params gpsParams(const ProductProfile& p) {
    return paramsOf(
        {p[f::GpsLongitude], p[f::GpsEastWest], p[f::GpsLatitude], p[f::GpsNorthSouth]});
}

Params scanParams(const ProductProfile& p, std::int32_t scanOffset) {
    return paramsOf({scanOffset, p[f::TrackingScale], p[f::DetectLevelOffset]});
}

Params flagParams(const ProductProfile& p) {
    return paramsOf({0, p[f::UseWrsMethod], p[f::UseOffsetDifference]});
}

Params controlParams(const ProductProfile& p) {
    return paramsOf({p[f::SatVerifyTime], p[f::WrsDetectLevel], p[f::TrackingLevelOffset],
                     p[f::TrackingStableCount], p[f::InitialSatCount], p[f::VoltageThreshold],
                     p[f::DiseqcThreshold]});
}

Params antennaParams(const ProductProfile& p) {
    return paramsOf({p[f::OffsetDiffAzEl], p[f::OffsetDiffRhLh], p[f::SearchLockCount]});
}

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
        Params params = definitionParams(s, i, false);
        deliverLocal(cmd::NI, params.data(), {this, &satelliteInfoPage});
        params = definitionParams(s, i, true);
        deliverLocal(cmd::Nu, params.data(), {this});
        params = trackingParams(s, i, false);
        deliverLocal(cmd::NT, params.data(), {this, &satelliteInfoPage, &primaryTrackingPage});
        params = trackingParams(s, i, true);
        deliverLocal(cmd::NU, params.data(), {this, &secondaryTrackingPage});
    }
    const LnbPair lnb = lnbPair(p);
    Params params = paramsOf({RifSatelliteCount});
    deliverLocal(
        cmd::NN, params.data(),
        {this, &gpsPage, &satelliteInfoPage, &primaryTrackingPage, &secondaryTrackingPage});
    params = paramsOf({lnb.low, lnb.high, 0});
    deliverLocal(cmd::NL, params.data(), {this, &satelliteInfoPage});
    params = paramsOf({lnb.low, lnb.high, 1});
    deliverLocal(cmd::NL, params.data(), {this, &satelliteInfoPage});
    params = paramsOf({p[f::TripleMode]});
    deliverLocal(cmd::TR, params.data(), {this, &satelliteInfoPage, &movePage});
    params = slotParams(p);
    deliverLocal(cmd::NP, params.data(), {this});
    params = paramsOf({0});
    deliverLocal(
        cmd::NS, params.data(),
        {this, &gpsPage, &satelliteInfoPage, &primaryTrackingPage, &secondaryTrackingPage});
    params = gpsParams(p);
    deliverLocal(cmd::NG, params.data(), {this, &gpsPage});
    params = scanParams(p, p[f::ScanOffset]);
    deliverLocal(cmd::NR, params.data(), {this, &parameterPage});
    params = flagParams(p);
    deliverLocal(cmd::NF, params.data(), {this, &parameterPage});
    params = controlParams(p);
    deliverLocal(cmd::NC, params.data(), {this, &parameterPage});
    params = antennaParams(p);
    deliverLocal(cmd::Np, params.data(), {this, &parameterPage});
    ui::prompter().pause(StepPauseMs);
    params = paramsOf({p[f::DiseqcMode]});
    deliverLocal(
        cmd::NQ, params.data(),
        {this, &satelliteInfoPage, &primaryTrackingPage, &secondaryTrackingPage, &movePage});
    for (int slot = 0; slot < RifSlotCount; ++slot) {
        params = paramsOf({slot, slotSkew(p, slotSatellite(p, slot)),
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
    link_.awaitedReplyIndex.reset();
    updateRunning_ = false;
    if (link_.isShuttingDown()) {
        return;  // the window closed during the run: no box behind it
    }
    enableControl(id::LoadDefault, true);
    enableControl(id::UpdateDefault, true);
    parameterPage.showRegionVersion(QString::fromStdString(model_.regionName),
                                    model_.regionVersion);
    bar->setValue(0);
    if (outcome.missing == 0) {
        ui::prompter().message(QStringLiteral("Default update complete successfully."),
                               ui::Buttons::Ok, ui::Icon::None);
    } else {
        ui::prompter().message(
            QStringLiteral("Default update finished, but %1 of %2 steps got no reply from the "
                           "antenna. The antenna may not hold the whole default set: check the "
                           "connection and run Update Default again.")
                .arg(outcome.missing)
                .arg(outcome.awaited),
            ui::Buttons::Ok, ui::Icon::Warning);
    }
    bar->hide();
}

bool MainDialog::sendAwaited(CommandId command, const std::int32_t* params, CommandId reply,
                             std::optional<std::int32_t> index, UpdateOutcome& outcome) {
    link_.awaitedReplyId = reply;
    link_.awaitedReplyIndex = index;
    sendCommand(command, params);
    link_.waitForReply(updateReplyTimeoutMs);
    ++outcome.awaited;
    if (!link_.lastWaitAnswered()) {
        ++outcome.missing;
    }
    if (link_.isShuttingDown()) {
        return false;
    }
    ui::prompter().pause(StepPauseMs);
    return true;
}

bool MainDialog::sendUnawaited(CommandId command, const std::int32_t* params, bool pause) {
    // The step before ended with a pause, and this one waits for nothing: let the window
    // take its events between the two pauses, as it does during a wait, so that it never
    // stands still for two pauses in a row.
    QCoreApplication::processEvents();
    if (link_.isShuttingDown()) {
        return false;
    }
    sendCommand(command, params);
    if (pause) {
        ui::prompter().pause(StepPauseMs);
    }
    return !link_.isShuttingDown();
}

MainDialog::UpdateOutcome MainDialog::writeDefaultSet(const ProductProfile& p) {
    UpdateOutcome outcome;
    link_.replyWaitState = LinkDriver::Waiting;
    QProgressBar* bar = progressBar(id::Progress);
    for (int i = 0; i < RifSatelliteCount; ++i) {
        const RifSatellite& s = defaultSet.satellites[static_cast<std::size_t>(i)];
        Params params = definitionParams(s, i, false);
        if (!sendAwaited(cmd::EI, params.data(), cmd::NI, i, outcome)) {
            return outcome;
        }
        params = definitionParams(s, i, true);
        if (!sendAwaited(cmd::Eu, params.data(), cmd::Nu, i, outcome)) {
            return outcome;
        }
        params = trackingParams(s, i, false);
        if (!sendAwaited(cmd::ET, params.data(), cmd::NT, i, outcome)) {
            return outcome;
        }
        params = trackingParams(s, i, true);
        if (!sendAwaited(cmd::EU, params.data(), cmd::NU, i, outcome)) {
            return outcome;
        }
        bar->setValue(SatelliteProgressBase + i + 1);
    }
    Params params = paramsOf({RifSatelliteCount});
    deliverLocal(
        cmd::NN, params.data(),
        {this, &gpsPage, &satelliteInfoPage, &primaryTrackingPage, &secondaryTrackingPage});

    // The remaining steps, each awaited, with the progress position it ends at.
    const LnbPair lnb = lnbPair(p);
    struct Step {
        CommandId command;
        Params params;
        CommandId reply;
        int progress;
    };
    const Step steps[] = {
        {cmd::SL, paramsOf({lnb.low, lnb.high}), cmd::NL, 13},
        {cmd::TR, paramsOf({p[f::TripleMode]}), cmd::TR, 14},
        {cmd::SP, slotParams(p), cmd::NP, 15},
        // Satellite A; the second word of LT is always 0.
        {cmd::LT, paramsOf({0, 0}), cmd::NS, 16},
        {cmd::SG, gpsParams(p), cmd::NG, 17},
        // The scan offset always goes out as -5, whatever the set holds.
        {cmd::SA, scanParams(p, -5), cmd::NR, 18},
        {cmd::FG, flagParams(p), cmd::NF, 19},
        {cmd::SC, controlParams(p), cmd::NC, 20},
    };
    for (const Step& step : steps) {
        if (!sendAwaited(step.command, step.params.data(), step.reply, std::nullopt, outcome)) {
            return outcome;
        }
        bar->setValue(step.progress);
    }
    params = antennaParams(p);
    if (!sendUnawaited(cmd::Sa, params.data(), true)) {
        return outcome;
    }
    params = paramsOf({p[f::DiseqcMode]});
    if (!sendAwaited(cmd::SQ, params.data(), cmd::NQ, std::nullopt, outcome)) {
        return outcome;
    }
    bar->setValue(UpdateProgressSteps);
    for (int i = 0; i < RifSatelliteCount; ++i) {
        params[static_cast<std::size_t>(i)] =
            defaultSet.skewAdjust[static_cast<std::size_t>(i)] * SkewAdjustScale;
    }
    if (!sendUnawaited(cmd::KT, params.data(), true)) {
        return outcome;
    }
    for (int slot = 0; slot < RifSlotCount; ++slot) {
        params[static_cast<std::size_t>(slot)] =
            defaultSet.skewAdjust[static_cast<std::size_t>(slotSatellite(p, slot))] *
            SkewAdjustScale;
    }
    sendUnawaited(cmd::KO, params.data(), false);
    return outcome;
}

}  // namespace kelvandor
