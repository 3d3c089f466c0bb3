#include "client/app/ControllerGps.h"

#include "client/app/IGpsControl.h"
#include "client/gps/GPSDeviceSelector.h"
#include "kestra/Exceptions.h"
#include "kestra/Lexical.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"

using kestra::Log;
using kestra::Settings;

namespace {
const wchar_t* const DEFAULT_COM_PORT = L"COM4:";
const wchar_t* const STATE_KEY = L"GPSDevice.state";
}  // namespace

ControllerGps::ControllerGps(IGPSListener& listener)
    : selector_(std::make_unique<GPSDeviceSelector>(&listener)) {}

ControllerGps::~ControllerGps() {
    try {
        selector_->stop();
    } catch (const kestra::BasicException&) {
        Log::warning(
            "ApplicationManager::~ApplicationManager: the GPS port was not closed cleanly.");
    }
}

void ControllerGps::readSettings() {
    std::wstring comPortName;
    if (!Settings::getStringValue(L"gps.comPortName", &comPortName)) {
        comPortName = DEFAULT_COM_PORT;
        if (!Settings::setStringValue(L"gps.comPortName", DEFAULT_COM_PORT)) {
            Log::error(
                "ApplicationManager:RunApplicationManager ERROR: "
                "kestra::Settings::setStringValue(DialogSetupGPS::COMPORTNAME,comPortName)");
        }
    }
    selector_->setCOMPortName(comPortName);
    int useDriver = 1;
    if (!Settings::getIntValue(L"gps.useDriver", &useDriver) || useDriver != 0) {
        useDriver = 1;
        Settings::setIntValue(L"gps.useDriver", 1);
    }
    selector_->setUseDriver(useDriver != 0);
}

bool ControllerGps::startWhenSwitchedOn() {
    std::wstring state;
    return Settings::getStringValue(STATE_KEY, &state) && state == L"ON" &&
           switchOn("ApplicationManager::runApplication");
}

bool ControllerGps::switchOn(const char* place) {
    try {
        selector_->start();
    } catch (const kestra::BasicException& e) {
        Log::error(std::string(place) + ": the GPS could not be switched on: " + e.place() + ", " +
                   e.condition());
        return false;
    }
    searching_ = true;
    return true;
}

int ControllerGps::switchGPS() {
    if (selector_->getState() == GPSDeviceSelector::STATE_ON) {
        try {
            selector_->stop();
        } catch (const kestra::BasicException&) {
            Log::warning(
                "ApplicationManager::onChangeGPSState: the GPS port was not closed cleanly.");
        }
        Settings::setStringValue(STATE_KEY, L"OFF");
        return IGpsControl::GPS_STATE_OFF;
    }
    if (!switchOn("ApplicationManager::onChangeGPSState")) {
        return IGpsControl::GPS_STATE_OFF;
    }
    Settings::setStringValue(STATE_KEY, L"ON");
    return IGpsControl::GPS_STATE_SEARCHING;
}

bool ControllerGps::changeFixState(bool hasFix) {
    if (hasFix && searching_.exchange(false)) {
        Log::debug("ApplicationManager: GPS fix found.");
        return true;
    }
    if (!hasFix && !searching_.exchange(true)) {
        Log::debug("ApplicationManager: GPS fix lost.");
        return true;
    }
    return false;
}

// The view manager and the publishing of positions take readings from here once they exist;
// until then a reading only passes the plausibility test.
void ControllerGps::onPosition(const WorldCoords& position, bool valid) {
    if (!valid || !CoordinateUtils::isValid(position)) {
        return;
    }
    const DecimalCoords decimal = CoordinateUtils::toDecimal(position);
    Log::debug("ApplicationManager::onGPSPosition: " + kestra::toNarrowText(decimal.latitude) +
               ", " + kestra::toNarrowText(decimal.longitude));
}

void ControllerGps::onSatellites(const SatelliteList& satellites, bool fix) {
    Log::debug("ApplicationManager::onGPSSatellites: " + std::to_string(satellites.size()) +
               " satellites, fix " + (fix ? "yes" : "no"));
}
