#include "client/gps/GPSDeviceSelector.h"

#include "kestra/Exceptions.h"
#include "kestra/Log.h"

using kestra::Log;

GPSDeviceSelector::GPSDeviceSelector(IGPSListener* listener)
    : GPSDeviceSelector(std::make_unique<COMGPSManager>(), std::make_unique<WM5DriverGPSManager>(),
                        listener) {}

GPSDeviceSelector::GPSDeviceSelector(std::unique_ptr<COMGPSManager> serialSource,
                                     std::unique_ptr<WM5DriverGPSManager> driverSource,
                                     IGPSListener* listener)
    : serial_(std::move(serialSource)), driver_(std::move(driverSource)) {
    setGPSListener(listener);
}

// The sources stop themselves when they are deleted.
GPSDeviceSelector::~GPSDeviceSelector() = default;

void GPSDeviceSelector::setGPSListener(IGPSListener* listener) {
    serial_->setGPSListener(listener);
    driver_->setGPSListener(listener);
}

void GPSDeviceSelector::setCOMPortName(const std::wstring& portName) {
    serial_->setPortName(portName);
}

std::wstring GPSDeviceSelector::getCOMPortName() const {
    return serial_->getPortName();
}

int GPSDeviceSelector::getCOMPortNumber() const {
    return serial_->getPortNumber();
}

void GPSDeviceSelector::setUseDriver(bool useDriver) {
    kestra::Mutex::Locker lock(lock_);
    useDriver_ = useDriver;
}

bool GPSDeviceSelector::isUsingDriver() const {
    kestra::Mutex::Locker lock(lock_);
    return useDriver_;
}

IGPSManager& GPSDeviceSelector::selected() {
    if (useDriver_) {
        return *driver_;
    }
    return *serial_;
}

void GPSDeviceSelector::start() {
    kestra::Mutex::Locker lock(lock_);
    IGPSManager& source = selected();
    if (!source.isGPSDeviceStarted()) {
        source.startGPSDevice();
    }
    state_ = STATE_ON;
}

void GPSDeviceSelector::stop() {
    kestra::Mutex::Locker lock(lock_);
    IGPSManager& source = selected();
    state_ = STATE_OFF;
    if (source.isGPSDeviceStarted()) {
        source.stopGPSDevice();
    }
}

int GPSDeviceSelector::getState() const {
    kestra::Mutex::Locker lock(lock_);
    return state_;
}

bool GPSDeviceSelector::isStarted() const {
    kestra::Mutex::Locker lock(lock_);
    return useDriver_ ? driver_->isGPSDeviceStarted() : serial_->isGPSDeviceStarted();
}

void GPSDeviceSelector::selectSerialSource(const std::wstring* portName) {
    kestra::Mutex::Locker lock(lock_);
    if (portName != nullptr) {
        serial_->setPortName(*portName);
    }
    select(false);
}

void GPSDeviceSelector::selectDriverSource() {
    kestra::Mutex::Locker lock(lock_);
    select(true);
}

void GPSDeviceSelector::select(bool useDriver) {
    if (state_ == STATE_ON) {
        stop();
    }
    useDriver_ = useDriver;
    start();
}

bool GPSDeviceSelector::search(std::wstring& portName) {
    kestra::Mutex::Locker lock(lock_);
    stop();
    const bool found = serial_->findGPSDevices(portName);
    // The result of the search stands even when the selected source cannot start again.
    try {
        start();
    } catch (const kestra::BasicException& e) {
        Log::error(std::string("GPSDeviceSelector::search: the GPS could not be switched on: ") +
                   e.place() + ", " + e.condition());
    }
    return found;
}
