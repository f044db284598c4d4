// The lorventa program's command line: --help and --version answer and exit 0
// without touching the window system; anything else unknown is refused.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

namespace {

struct Outcome {
  int status = -1;
  QString out;
  QString err;
};

// Runs the program with no display to reach: a program that tried to open a
// window would fail instead of exiting 0.
Outcome RunProgram(const QStringList& args, const QString& platform = QStringLiteral("xcb")) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("WAYLAND_DISPLAY"));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("/tmp/lorventa-cli-config"));
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(LORVENTA_BINARY), args);
  if (!p.waitForFinished(30000)) return {};
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
}

TEST(AppCommandLine, HelpAndVersionAnswerWithoutAWindow) {
  for (const QString& flag : {QStringLiteral("--help"), QStringLiteral("-h")}) {
    const Outcome help = RunProgram({flag});
    EXPECT_EQ(help.status, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: lorventa"))) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(QStringLiteral("/tmp/lorventa-cli-config/lorventa/sites.db")))
        << "the store folder follows XDG_CONFIG_HOME";
  }
  const Outcome version = RunProgram({QStringLiteral("--version")});
  EXPECT_EQ(version.status, 0) << version.err.toStdString();
  EXPECT_EQ(version.out, QStringLiteral("lorventa " LORVENTA_VERSION "\n"));
}

TEST(AppCommandLine, AnUnknownOptionIsRefused) {
  const Outcome bogus = RunProgram({QStringLiteral("--bogus")}, QStringLiteral("offscreen"));
  EXPECT_EQ(bogus.status, 2);
  EXPECT_TRUE(bogus.err.contains(QStringLiteral("unknown option '--bogus'"))) << bogus.err.toStdString();
  EXPECT_TRUE(bogus.out.isEmpty());
}

}  // namespace
