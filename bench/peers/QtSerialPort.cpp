// QSerialPort on the calling thread: readyRead in an event loop, the handler reading all that
// is there. Needs the QCoreApplication that main creates.
#include <stdexcept>

#include <QEventLoop>
#include <QSerialPort>

#include "peers/Receiver.h"

namespace Peers {
namespace {

using namespace PtyBench;

class TQtReceiver : public TReceiver {
public:
    explicit TQtReceiver(TPty& Pty) {
        FPort.setPortName(QString::fromStdString(Pty.Path));
        if (!FPort.open(QIODevice::ReadWrite))
            throw std::runtime_error("QSerialPort open: " + FPort.errorString().toStdString());
        if (!FPort.setBaudRate(115200) || !FPort.setDataBits(QSerialPort::Data8) ||
            !FPort.setParity(QSerialPort::NoParity) || !FPort.setStopBits(QSerialPort::OneStop) ||
            !FPort.setFlowControl(QSerialPort::NoFlowControl))
            throw std::runtime_error("QSerialPort settings: " + FPort.errorString().toStdString());
        QObject::connect(&FPort, &QSerialPort::readyRead, [this] { OnReadyRead(); });
    }
    void Take() override {
        QEventLoop Loop;
        FLoop = &Loop;
        Loop.exec();
        FLoop = nullptr;
        // What the handler wrote last leaves only from a later turn of the loop.
        FPort.flush();
    }
    void Send(const std::uint8_t* B, std::size_t N) override {
        if (FPort.write(reinterpret_cast<const char*>(B), qint64(N)) != qint64(N))
            throw std::runtime_error("QSerialPort write short");
    }

private:
    void OnReadyRead() {
        for (;;) {
            const qint64 N = FPort.read(reinterpret_cast<char*>(FBuf.data()), qint64(FBuf.size()));
            if (N <= 0)
                return;
            if (Deliver(FBuf.data(), std::size_t(N)) && FLoop)
                FLoop->quit();
        }
    }

    QSerialPort FPort;
    QEventLoop* FLoop = nullptr;
    std::vector<std::uint8_t> FBuf = std::vector<std::uint8_t>(65536);
};

} // namespace

std::vector<TCase> QtSerialPortCases() {
    return {{"QSerialPort readyRead", [](TPty& P) { return std::make_unique<TQtReceiver>(P); }}};
}

} // namespace Peers
