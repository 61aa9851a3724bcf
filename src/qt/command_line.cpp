#include "qt/command_line.h"

#include <QCommandLineParser>

namespace tavric::qt {
namespace {

constexpr const char* kDescription =
    "Downloads the new readings of a Tavric Probe Server, writes them to the dump and probe\n"
    "data files, sets the server's clock and empties its store once every reading is safely\n"
    "on disk. Options given here serve this run only; none is saved.";

constexpr const char* kExitStatuses =
    "\nExit statuses:\n"
    "  0    the run kept its link to its end\n"
    "  1    no server found, or the link to it was lost\n"
    "  2    an output file failed; the readings were left on the server\n"
    "  3    the modem dialogue failed (PIN, dial, no answer through the call)\n"
    "  64   bad command line\n"
    "  130  the window was closed\n";

// Qt's own options, taken by the application object later; accepted here so that the
// program keeps running with them.
constexpr const char* kQtValueOptions[] = {"platform",    "platformpluginpath", "platformtheme",
                                           "plugin",      "qmljsdebugger",      "qwindowgeometry",
                                           "qwindowicon", "qwindowtitle",       "session",
                                           "display",     "geometry",           "style",
                                           "stylesheet"};
constexpr const char* kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

void add(QCommandLineParser& parser, const char* name, const char* description,
         const char* value = nullptr) {
  QCommandLineOption option(QString::fromLatin1(name), QString::fromUtf8(description),
                            value ? QString::fromLatin1(value) : QString());
  parser.addOption(option);
}

void add_hidden(QCommandLineParser& parser, const char* name, bool takes_value) {
  QCommandLineOption option(QString::fromLatin1(name), QString(),
                            takes_value ? QStringLiteral("value") : QString());
  option.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(option);
}

void set_up(QCommandLineParser& parser) {
  parser.setApplicationDescription(QString::fromUtf8(kDescription));
  // Qt's own options are words after a single dash.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  // Help and version without Qt's "--help-all": there are no Qt options to show.
  parser.addOption(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                                      QStringLiteral("This text.")));
  parser.addOption(QCommandLineOption({QStringLiteral("v"), QStringLiteral("version")},
                                      QStringLiteral("The program's version.")));
  add(parser, "port", "Serial port N instead of the saved one (a comN link applies).", "N");
  add(parser, "speed", "Lo or Hi instead of the saved speed option.", "lo|hi");
  add(parser, "output", "Folder that receives \"Tavric Dumps\" and the probe data file.", "DIR");
  add(parser, "cell", "Number the cell modem dials.", "NUMBER");
  add(parser, "pin-file", "File holding the four-digit SIM PIN.", "FILE");
  add(parser, "unattended",
      "No prompt or message waits for a person: they go to standard error, each prompt "
      "answered by the options or the answer that ends the run or keeps the readings on the "
      "server. Runs without a display.");
  add(parser, "trace", "Write the support trace to FILE instead of the usual folder.", "FILE");
  for (const char* name : kQtValueOptions) add_hidden(parser, name, true);
  for (const char* name : kQtFlags) add_hidden(parser, name, false);
}

}  // namespace

std::string help_text() {
  QCommandLineParser parser;
  set_up(parser);
  // The parser names the program after the application object's first argument, or
  // a placeholder before there is one: the usage line is written here instead.
  const QString text = parser.helpText();
  const qsizetype first_line_end = text.indexOf(QLatin1Char('\n'));
  return "Usage: " + std::string(kProgramName) + " [options]" +
         text.mid(first_line_end).toStdString() + kExitStatuses;
}

CommandLine parse_command_line(const QStringList& arguments) {
  QCommandLineParser parser;
  set_up(parser);
  CommandLine result;
  if (!parser.parse(arguments)) {
    result.action = CommandLine::Action::UsageError;
    result.text = parser.errorText().toStdString();
    return result;
  }
  if (parser.isSet(QStringLiteral("help"))) {
    result.action = CommandLine::Action::Help;
    result.text = help_text();
    return result;
  }
  if (parser.isSet(QStringLiteral("version"))) {
    result.action = CommandLine::Action::Version;
    result.text = std::string(kProgramName) + " " + kProgramVersion + "\n";
    return result;
  }
  if (!parser.positionalArguments().isEmpty()) {
    result.action = CommandLine::Action::UsageError;
    result.text =
        "Unexpected argument '" + parser.positionalArguments().first().toStdString() + "'.";
    return result;
  }
  for (const std::string_view name : kValueOptions) {
    const QString qname = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    if (!parser.isSet(qname)) continue;
    const std::string complaint =
        apply_option(name, parser.value(qname).toStdString(), result.options);
    if (!complaint.empty()) {
      result.action = CommandLine::Action::UsageError;
      result.text = complaint;
      return result;
    }
  }
  result.options.unattended = parser.isSet(QStringLiteral("unattended"));
  return result;
}

}  // namespace tavric::qt
