// The tray icon on a tray host that speaks D-Bus: the program runs on its
// own on a private X server (Qt offers the bus tray only to real window
// systems) with a private session bus, this test is the bus's
// notification-area watcher and, like a panel, reads the item's menu
// description and clicks it.  Every call to the program is asynchronous:
// the program asks the watcher (this process) questions of its own.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include "app_test_support.h"

namespace {

using apptest::WaitFor;

// A private bus: dbus-daemon with the session configuration, gone with the
// test.
class PrivateBus {
 public:
  PrivateBus() {
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address")});
    if (daemon.waitForStarted() && daemon.waitForReadyRead(10000))
      address = QString::fromLatin1(daemon.readLine()).trimmed();
  }
  ~PrivateBus() {
    if (!address.isEmpty()) QDBusConnection::disconnectFromBus(QStringLiteral("test"));
    daemon.terminate();
    daemon.waitForFinished();
  }
  QProcess daemon;
  QString address;
};

// A virtual X server of the test's own; it picks a free display number and
// tells it on its standard output.
class PrivateDisplay {
 public:
  PrivateDisplay() {
    server.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                  QStringLiteral("640x480x24")});
    if (server.waitForStarted() && server.waitForReadyRead(20000))
      display = QLatin1Char(':') + QString::fromLatin1(server.readLine()).trimmed();
  }
  ~PrivateDisplay() {
    server.terminate();
    server.waitForFinished();
  }
  QProcess server;
  QString display;
};

// The smallest notification-area watcher a tray item accepts: it says a
// host is there and records the items that register.
class Watcher : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override {
    return QStringLiteral(
        "<interface name=\"org.kde.StatusNotifierWatcher\">"
        "<method name=\"RegisterStatusNotifierItem\"><arg type=\"s\" direction=\"in\"/></method>"
        "<method name=\"RegisterStatusNotifierHost\"><arg type=\"s\" direction=\"in\"/></method>"
        "<property name=\"RegisteredStatusNotifierItems\" type=\"as\" access=\"read\"/>"
        "<property name=\"IsStatusNotifierHostRegistered\" type=\"b\" access=\"read\"/>"
        "<property name=\"ProtocolVersion\" type=\"i\" access=\"read\"/>"
        "</interface>");
  }
  bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
    const QString iface = m.interface(), member = m.member();
    if (iface == QLatin1String("org.kde.StatusNotifierWatcher") &&
        member == QLatin1String("RegisterStatusNotifierItem")) {
      items << m.service() + QLatin1Char('|') + m.arguments().value(0).toString();
      return bus.send(m.createReply());
    }
    if (iface == QLatin1String("org.freedesktop.DBus.Properties") &&
        (member == QLatin1String("Get") || member == QLatin1String("GetAll"))) {
      const QVariantMap all{{QStringLiteral("IsStatusNotifierHostRegistered"), true},
                            {QStringLiteral("ProtocolVersion"), 0},
                            {QStringLiteral("RegisteredStatusNotifierItems"), QStringList()}};
      if (member == QLatin1String("GetAll")) return bus.send(m.createReply(QVariant(all)));
      const QString name = m.arguments().value(1).toString();
      if (!all.contains(name))
        return bus.send(m.createErrorReply(QDBusError::UnknownProperty, name));
      return bus.send(m.createReply(QVariant::fromValue(QDBusVariant(all[name]))));
    }
    return false;
  }
  QStringList items;  // "sender|argument" of each registration
};

struct MenuEntry {
  int id = 0;
  QString label, type, toggleType;
  int toggleState = -1;
  bool visible = true;
};

// The top level of a menu layout, (ia{sv}av), one entry per child.
std::vector<MenuEntry> TopLevelEntries(const QDBusArgument& layout) {
  std::vector<MenuEntry> entries;
  int rootId = 0;
  QVariantMap rootProps;
  layout.beginStructure();
  layout >> rootId >> rootProps;
  layout.beginArray();
  while (!layout.atEnd()) {
    QDBusVariant child;
    layout >> child;
    const auto arg = child.variant().value<QDBusArgument>();
    MenuEntry e;
    QVariantMap props;
    arg.beginStructure();
    arg >> e.id >> props;
    arg.endStructure();
    e.label = props.value(QStringLiteral("label")).toString().remove(QLatin1Char('_'));
    e.type = props.value(QStringLiteral("type")).toString();
    e.toggleType = props.value(QStringLiteral("toggle-type")).toString();
    e.toggleState = props.value(QStringLiteral("toggle-state"), -1).toInt();
    e.visible = props.value(QStringLiteral("visible"), true).toBool();
    entries.push_back(e);
  }
  layout.endArray();
  layout.endStructure();
  return entries;
}

class SniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    apptest::App();
    ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
    ASSERT_FALSE(x.display.isEmpty()) << "Xvfb did not start";
    conn = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(bus.address, QStringLiteral("test")));
    ASSERT_TRUE(conn->isConnected());
    ASSERT_TRUE(conn->registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    ASSERT_TRUE(conn->registerVirtualObject(QStringLiteral("/StatusNotifierWatcher"), &watcher));
    ASSERT_GT(sim.port, 0);
  }
  void TearDown() override {
    if (program.state() != QProcess::NotRunning) {
      program.kill();
      program.waitForFinished();
    }
    conn->unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
  }

  void StartProgram() {
    copy.WriteIni(sim.port);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), x.display);
    // The X keyboard library hands strndup a bounded, unterminated name,
    // which a sanitizer's strict string checks read as an overrun.
    if (env.contains(QStringLiteral("ASAN_OPTIONS")))
      env.insert(QStringLiteral("ASAN_OPTIONS"),
                 env.value(QStringLiteral("ASAN_OPTIONS")) +
                     QStringLiteral(":strict_string_checks=0"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QString::fromStdString(copy.exe()), {});
    ASSERT_TRUE(program.waitForStarted());
  }

  // Runs the loop until the call's answer is there.
  QDBusMessage Call(const QString& service, const QString& path, const QString& iface,
                    const QString& member, const QVariantList& args = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, iface, member);
    m.setArguments(args);
    QDBusPendingCall pending = conn->asyncCall(m);
    EXPECT_TRUE(WaitFor([&] { return pending.isFinished(); })) << member.toStdString();
    return pending.reply();
  }
  QVariant Property(const QString& service, const QString& path, const QString& name) {
    const QDBusMessage r = Call(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                QStringLiteral("Get"),
                                {QStringLiteral("org.kde.StatusNotifierItem"), name});
    return r.arguments().value(0).value<QDBusVariant>().variant();
  }
  std::string Received() { return apptest::StripTelnet(sim.Log()); }

  PrivateBus bus;
  PrivateDisplay x;
  std::unique_ptr<QDBusConnection> conn;
  Watcher watcher;
  apptest::ProgramCopy copy;
  apptest::RouterSim sim{copy.dir.File("router.log")};
  QProcess program;
};

TEST_F(SniTest, MenuOverTheBusDoubleActivationAndExit) {
  StartProgram();
  ASSERT_TRUE(WaitFor([&] { return !watcher.items.isEmpty(); }, 15000)) << "no item registered";
  const QStringList parts = watcher.items.front().split(QLatin1Char('|'));
  const QString service = parts.value(1).startsWith(QLatin1Char('/')) ? parts.value(0)
                                                                      : parts.value(1);
  const QString item = QStringLiteral("/StatusNotifierItem");
  EXPECT_EQ(Property(service, item, QStringLiteral("Title")).toString(),
            "Zel Tervane Windows Client");
  const auto menuPath = Property(service, item, QStringLiteral("Menu")).value<QDBusObjectPath>();
  ASSERT_NE(menuPath.path(), "/NO_DBUSMENU");
  ASSERT_FALSE(menuPath.path().isEmpty());

  // The nine entries of the pop-up menu, in order, Block and Force with a
  // check mark each, both clear.
  const QDBusMessage layout =
      Call(service, menuPath.path(), QStringLiteral("com.canonical.dbusmenu"),
           QStringLiteral("GetLayout"), {0, -1, QStringList()});
  ASSERT_EQ(layout.type(), QDBusMessage::ReplyMessage) << layout.errorMessage().toStdString();
  std::vector<MenuEntry> entries;
  for (const MenuEntry& e : TopLevelEntries(layout.arguments().value(1).value<QDBusArgument>()))
    if (e.visible) entries.push_back(e);
  QStringList seen;
  for (const MenuEntry& e : entries)
    seen << (e.type == QLatin1String("separator") ? QStringLiteral("-") : e.label);
  ASSERT_EQ(seen.join(QLatin1Char(',')).toStdString(),
            "Configuration,-,Connect,Disconnect,-,Block,Force,-,Exit");
  for (const int i : {5, 6}) {
    EXPECT_EQ(entries[i].toggleType, "checkmark") << i;
    EXPECT_EQ(entries[i].toggleState, 0) << i;
  }

  ASSERT_TRUE(WaitFor([&] { return Received() == "admin\rsecret\r"; }, 10000)) << Received();
  const std::string loggedIn = Received();

  // A panel's double-click: two activations 150 ms apart are one toggle.
  const QString sni = QStringLiteral("org.kde.StatusNotifierItem");
  QDBusMessage activate =
      QDBusMessage::createMethodCall(service, item, sni, QStringLiteral("Activate"));
  activate.setArguments({0, 0});
  QDBusPendingCall first = conn->asyncCall(activate);
  QTest::qWait(150);
  QDBusPendingCall second = conn->asyncCall(activate);
  ASSERT_TRUE(WaitFor([&] { return first.isFinished() && second.isFinished(); }));
  ASSERT_TRUE(WaitFor([&] { return Received().size() > loggedIn.size() + 25; }));

  // Choosing Block in the host's menu.
  const QDBusMessage clicked =
      Call(service, menuPath.path(), QStringLiteral("com.canonical.dbusmenu"),
           QStringLiteral("Event"),
           {entries[5].id, QStringLiteral("clicked"),
            QVariant::fromValue(QDBusVariant(QVariant(0))), 0u});
  EXPECT_NE(clicked.type(), QDBusMessage::ErrorMessage) << clicked.errorMessage().toStdString();
  const std::string expected = loggedIn + "control unblock\rcontrol up\rcontrol block\r";
  EXPECT_TRUE(WaitFor([&] { return Received() == expected; })) << Received();

  // The panel restarts: the item registers again.
  ASSERT_TRUE(conn->unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher")));
  ASSERT_TRUE(conn->registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
  EXPECT_TRUE(WaitFor([&] { return watcher.items.size() == 2; }, 10000)) << watcher.items.size();

  // Exit ends the program.
  Call(service, menuPath.path(), QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("Event"),
       {entries[8].id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QVariant(0))),
        0u});
  ASSERT_TRUE(WaitFor([&] { return program.state() == QProcess::NotRunning; }, 10000));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_EQ(Received(), expected);
}

}  // namespace
