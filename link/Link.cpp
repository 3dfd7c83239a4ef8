#include "LinkState.h"

Link::Link() : state_(std::make_unique<LinkState>()) {}

Link::~Link() = default;

int Link::PortNumber() const {
    return state_->PortNumber;
}

void Link::setPortNumber(int portNumber) {
    state_->PortNumber = portNumber;
}

QString Link::PortName() const {
    if (!state_->chosenPortName.isEmpty())
        return state_->chosenPortName;
    return state_->PortNumber > 0 ? QStringLiteral("COM%1").arg(state_->PortNumber) : QString();
}

void Link::setChosenPortName(const QString& name) {
    state_->chosenPortName = name;
}

int Link::RtsControl() const {
    return state_->RtsControl;
}

void Link::setRtsControl(int rtsControl) {
    state_->RtsControl = rtsControl;
}

int Link::LineSpeed() const {
    return state_->LineSpeed;
}

void Link::setLineSpeed(int baud) {
    state_->LineSpeed = baud;
}

qint64 Link::PerfFrequency() const {
    return state_->PerfFrequency > 0 ? state_->PerfFrequency : timeSource().perfFrequency();
}

void Link::setPerfFrequency(qint64 frequency) {
    state_->PerfFrequency = frequency;
}

std::array<quint8, kRequestBufferSize>& Link::RequestBuffer() {
    return state_->RequestBuffer;
}

const std::array<quint8, kRequestBufferSize>& Link::RequestBuffer() const {
    return state_->RequestBuffer;
}

std::array<quint8, kAnswerBufferSize>& Link::AnswerBuffer() {
    return state_->AnswerBuffer;
}

const std::array<quint8, kAnswerBufferSize>& Link::AnswerBuffer() const {
    return state_->AnswerBuffer;
}

void Link::setPort(Port* port) {
    state_->port = port;
}

void Link::setClock(Clock* clock) {
    state_->clock = clock;
}

void Link::setUi(LinkUi* ui) {
    state_->ui = ui;
}

const QString& Link::settingsPath() const {
    return state_->settingsPath;
}

void Link::setSettingsPath(const QString& path) {
    state_->settingsPath = path;
}

void Link::setSaveOnFailedOpen(bool save) {
    state_->saveOnFailedOpen = save;
}

DeviceSource* Link::devices() const {
    return state_->devices;
}

void Link::setDevices(DeviceSource* devices) {
    state_->devices = devices;
}

void Link::mapPortDevice(int portNumber, const QString& path) {
    state_->portPaths[portNumber] = path;
}

const std::map<int, QString>& Link::mappedDevices() const {
    return state_->portPaths;
}

LineTap& Link::tap() {
    return state_->tap;
}

Clock& Link::timeSource() const {
    return state_->clock ? *state_->clock : SystemClock();
}

bool Link::portOpen() const {
    return state_->port && state_->port->isOpen();
}

void Link::wake() {
    if (state_->port)
        state_->port->wake();
}

bool Link::waitForInput(int timeoutMs, bool pumpMessages) {
    return portOpen() && state_->port->waitForInput(timeoutMs, pumpMessages);
}

qint32 Link::actualBaud() const {
    return portOpen() ? state_->port->actualBaud() : 0;
}

bool Link::deviceLost() const {
    return state_->device.lost;
}

QString Link::lostReason() const {
    return state_->device.reason;
}
