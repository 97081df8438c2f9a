// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include "platform/file_name.h"
#include "platform/version_record.h"

#include <QCommandLineParser>

#include <vector>

namespace {

constexpr char ClientNameSeparator = ':';
// The MIDI servers keep client names short (JACK: 63 bytes) and our clients
// add a suffix of their own to this name.
constexpr qsizetype MaxClientNameBytes = 48;

// The options, with their help texts. ParseCommandLine adds each of them to
// the parser and reads each into its field.
struct TOptions {
    QCommandLineOption Help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Affiche cette aide et quitte.")};
    QCommandLineOption Version{QStringLiteral("version"), QStringLiteral("Affiche la version et quitte.")};
    QCommandLineOption ClientName{QStringLiteral("client-name"),
                                  QStringLiteral("Nom du client MIDI vu par JACK et par le séquenceur ALSA "
                                                 "(par défaut : %1).")
                                      .arg(DefaultMidiClientName),
                                  QStringLiteral("nom"), DefaultMidiClientName};
    QCommandLineOption Headless{QStringLiteral("headless"),
                                QStringLiteral("Sans fenêtre : la courbe de --curve entre --input et --output.")};
    QCommandLineOption Curve{QStringLiteral("curve"),
                             QStringLiteral("Sans fenêtre : le fichier de courbe (.dat), relu à chaque "
                                            "changement et sur SIGHUP."),
                             QStringLiteral("fichier")};
    QCommandLineOption Input{QStringLiteral("input"),
                             QStringLiteral("Sans fenêtre : l'entrée MIDI, son nom ou une partie de son nom "
                                            "(par défaut : la première)."),
                             QStringLiteral("nom")};
    QCommandLineOption Output{QStringLiteral("output"),
                              QStringLiteral("Sans fenêtre : la sortie MIDI, de même."), QStringLiteral("nom")};
    QCommandLineOption NotesOnly{QStringLiteral("notes-only"),
                                 QStringLiteral("Sans fenêtre : seules les notes passent par la courbe.")};
    QCommandLineOption NoTestNote{QStringLiteral("no-test-note"),
                                  QStringLiteral("Ne joue pas la note d'essai au démarrage (un poste relancé sur "
                                                 "scène reste muet).")};
    QCommandLineOption Verbose{QStringLiteral("verbose"),
                               QStringLiteral("Sans fenêtre : chaque seconde, les messages reçus, envoyés et "
                                              "perdus, et le dernier passage par la courbe.")};

    // The options that only the mode without a window reads.
    std::vector<const QCommandLineOption*> HeadlessOnly() const { return {&Curve, &Input, &Output, &NotesOnly, &Verbose}; }
};

void Declare(QCommandLineParser& parser, const TOptions& options)
{
    parser.setApplicationDescription(QStringLiteral("Velomorph, générateur de courbe de vélocité : chaque message "
                                                    "MIDI reçu repart aussitôt,\nsa vélocité transformée par la "
                                                    "courbe dessinée dans la fenêtre."));
    // "-abc" is one option named "abc", never -a -b -c: a Qt option such as
    // -qwindowtitle is then refused by its own name.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({options.Help, options.Version, options.ClientName, options.Headless, options.Curve,
                       options.Input, options.Output, options.NotesOnly, options.Verbose, options.NoTestNote});
    parser.addPositionalArgument(QStringLiteral("fichier"),
                                 QStringLiteral("Fichier de courbe (.dat) à ouvrir au démarrage."),
                                 QStringLiteral("[fichier]"));
}

TCommandLine Failure(const QCommandLineParser& parser, const QString& error)
{
    TCommandLine result;
    result.Action = TCommandLine::TAction::Fail;
    result.Text = QStringLiteral("velomorph : %1\n\n%2").arg(error, parser.helpText());
    return result;
}

std::optional<QString> ClientNameError(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("le nom du client MIDI ne peut pas être vide.");
    if (!IsValidUtf8Name(name))
        return QStringLiteral("le nom du client MIDI doit être un texte UTF-8 valide.");
    if (name.contains(QLatin1Char(ClientNameSeparator)))
        return QStringLiteral("le nom du client MIDI ne peut pas contenir « : ».");
    if (name.toUtf8().size() > MaxClientNameBytes)
        return QStringLiteral("le nom du client MIDI dépasse %1 octets.").arg(MaxClientNameBytes);
    return std::nullopt;
}

} // namespace

TCommandLine ParseCommandLine(const QStringList& arguments)
{
    const TOptions options;
    QCommandLineParser parser;
    Declare(parser, options);
    if (!parser.parse(arguments))
        return Failure(parser, parser.errorText());

    TCommandLine result;
    if (parser.isSet(options.Help)) {
        result.Action = TCommandLine::TAction::ShowHelp;
        result.Text = parser.helpText();
        return result;
    }
    if (parser.isSet(options.Version)) {
        result.Action = TCommandLine::TAction::ShowVersion;
        return result;
    }

    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return Failure(parser, QStringLiteral("un seul fichier de courbe à la fois (%1 donnés).").arg(files.size()));
    if (!files.isEmpty())
        result.CurveFile = files.constFirst();

    result.Headless = parser.isSet(options.Headless);
    if (result.Headless) {
        if (!files.isEmpty())
            return Failure(parser, QStringLiteral("sans fenêtre, le fichier de courbe se donne avec --curve."));
        result.CurveFile = parser.value(options.Curve);
        result.InputName = parser.value(options.Input);
        result.OutputName = parser.value(options.Output);
        result.NotesOnly = parser.isSet(options.NotesOnly);
        result.Verbose = parser.isSet(options.Verbose);
    } else {
        for (const QCommandLineOption* option : options.HeadlessOnly()) {
            if (parser.isSet(*option))
                return Failure(parser, QStringLiteral("--%1 ne vaut qu'avec --headless.").arg(option->names().constLast()));
        }
    }

    result.NoTestNote = parser.isSet(options.NoTestNote);
    result.ClientName = parser.value(options.ClientName);
    if (const std::optional<QString> error = ClientNameError(result.ClientName))
        return Failure(parser, *error);
    return result;
}

QString VersionLine(const std::optional<TVersionRecord>& record)
{
    const std::optional<std::string> version = record ? record->QueryString("FileVersion") : std::nullopt;
    if (!version || version->empty())
        return QStringLiteral("velomorph\n");
    return QStringLiteral("velomorph %1\n").arg(QString::fromStdString(*version));
}
