#include "PrivateBus.h"

#include <signal.h>

#include <filesystem>

PrivateBus::PrivateBus() {
    const std::filesystem::path socket = dir_.path() / "bus";
    const std::filesystem::path config = dir_.path() / "bus.conf";
    testsupport::writeFile(config, R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" + socket.string() +
                                       R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)");
    address_ = QStringLiteral("unix:path=") + QString::fromStdString(socket.string());
    running_ =
        daemon_.start("/usr/bin/dbus-daemon", {"--nofork", "--config-file=" + config.string()}) &&
        testsupport::waitUntil([&] { return std::filesystem::exists(socket); }, 10000);
}

PrivateBus::~PrivateBus() {
    daemon_.sendSignal(SIGTERM);
    int code = 0;
    daemon_.waitExit(10000, code);
}

QDBusConnection PrivateBus::connect(const QString& name) const {
    return QDBusConnection::connectToBus(address_, name);
}
