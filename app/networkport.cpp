#include "networkport.h"

#include "config/userdialog.h"
#include "netline/networkdevice.h"
#include "netline/networkportsetting.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>

namespace korvane {

namespace {

constexpr int kDefaultServerPort = 2000;

void store(const NetworkPortSetting &setting, UserDialog &dialog)
{
    QString why;
    if (!SaveNetworkPortSetting(setting, &why))
        dialog.inform(QStringLiteral("Network Port"), QStringLiteral("The network port could not be kept.") + kCR + why,
                      MessageIcon::Exclamation);
}

// The address window; true when the user pressed OK with a well-formed address.
bool editSetting(NetworkPortSetting &setting, UserDialog &dialog, QWidget *parent)
{
    QDialog window(parent);
    window.setObjectName(QStringLiteral("frmNetworkPort"));
    window.setWindowTitle(QStringLiteral("Network Port"));
    auto *host = new QLineEdit(&window);
    host->setObjectName(QStringLiteral("txtNetHost"));
    auto *port = new QSpinBox(&window);
    port->setObjectName(QStringLiteral("spnNetPort"));
    port->setRange(1, 65535);
    port->setValue(kDefaultServerPort);
    auto *protocol = new QComboBox(&window);
    protocol->setObjectName(QStringLiteral("cboNetProtocol"));
    protocol->addItem(QStringLiteral("RFC 2217 (this program sets the line to 9600 8N1)"));
    protocol->addItem(QStringLiteral("Raw TCP (the server's own line settings)"));
    auto *use = new QCheckBox(QStringLiteral("&Program through this network port"), &window);
    use->setObjectName(QStringLiteral("chkNetUse"));
    use->setChecked(true);
    if (const auto current = ParseNetworkDevice(setting.device)) {
        host->setText(current->host);
        port->setValue(current->port);
        protocol->setCurrentIndex(current->protocol == NetworkDevice::Protocol::Rfc2217 ? 0 : 1);
        use->setChecked(setting.use);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &window);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("&Cancel"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &window, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
    auto *form = new QFormLayout(&window);
    form->addRow(QStringLiteral("&Host:"), host);
    form->addRow(QStringLiteral("Por&t:"), port); // O is OK's
    form->addRow(QStringLiteral("P&rotocol:"), protocol);
    form->addRow(use);
    form->addRow(buttons);
    if (window.exec() != QDialog::Accepted)
        return false;
    NetworkDevice device;
    device.protocol = protocol->currentIndex() == 0 ? NetworkDevice::Protocol::Rfc2217
                                                    : NetworkDevice::Protocol::RawTcp;
    device.host = host->text().trimmed();
    device.port = static_cast<quint16>(port->value());
    QString why;
    if (!ParseNetworkDevice(device.text(), &why)) {
        dialog.inform(QStringLiteral("Network Port"), device.text() + QStringLiteral(": ") + why,
                      MessageIcon::Exclamation);
        return false;
    }
    setting.device = device.text();
    setting.use = use->isChecked();
    return true;
}

} // namespace

void AddNetworkPortEntry(QMenu *comPortMenu, UserDialog &dialog, QWidget *parent)
{
    const QList<QAction *> comPorts = comPortMenu->actions();
    comPortMenu->addSeparator();
    QAction *entry = comPortMenu->addAction(QStringLiteral("&Network Port..."));
    entry->setObjectName(QStringLiteral("mnuNetworkPort"));
    entry->setCheckable(true);
    auto refresh = [entry] {
        const NetworkPortSetting s = LoadNetworkPortSetting();
        entry->setChecked(s.use);
        const QString tip = s.use ? QStringLiteral("Programming goes through %1").arg(s.device)
                                  : QStringLiteral("Program through a network serial server instead of a COM port");
        entry->setStatusTip(tip);
        entry->setToolTip(tip);
    };
    refresh();
    QObject::connect(comPortMenu, &QMenu::aboutToShow, entry, refresh);
    QObject::connect(entry, &QAction::triggered, entry, [entry, &dialog, parent, refresh] {
        NetworkPortSetting s = LoadNetworkPortSetting();
        if (editSetting(s, dialog, parent))
            store(s, dialog);
        refresh();
    });
    // A COM port chosen: the runs go to the serial ports again; the address stays for later.
    for (QAction *com : comPorts) {
        if (!com->isCheckable())
            continue;
        QObject::connect(com, &QAction::triggered, entry, [entry, &dialog, refresh] {
            NetworkPortSetting s = LoadNetworkPortSetting();
            if (!s.use)
                return;
            s.use = false;
            store(s, dialog);
            refresh();
        });
    }
}

} // namespace korvane
