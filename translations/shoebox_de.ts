<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>About</name>
    <message>
        <source>&lt;h3&gt;Shoebox %1&lt;/h3&gt;&lt;p&gt;Sort a folder of photos and videos by hand, fast.&lt;/p&gt;&lt;p&gt;Licensed under the GNU General Public License, version 3 or later. There is no warranty, to the extent permitted by law.&lt;/p&gt;&lt;p&gt;Built with Qt %2 (Widgets, Multimedia with GStreamer), libheif %3, GLib/GIO %4 and ICU %5.&lt;/p&gt;</source>
        <translation>&lt;h3&gt;Shoebox %1&lt;/h3&gt;&lt;p&gt;Einen Ordner voller Fotos und Videos schnell von Hand sortieren.&lt;/p&gt;&lt;p&gt;Lizenziert unter der GNU General Public License, Version 3 oder neuer. Es gibt keine Garantie, soweit gesetzlich zulässig.&lt;/p&gt;&lt;p&gt;Erstellt mit Qt %2 (Widgets, Multimedia mit GStreamer), libheif %3, GLib/GIO %4 und ICU %5.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>About Shoebox</source>
        <translation>Über Shoebox</translation>
    </message>
</context>
<context>
    <name>Accessibility</name>
    <message>
        <source>%1 choices</source>
        <translation>Auswahlliste für %1</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Try &apos;%1 --help&apos; for more information.</source>
        <translation>„%1 --help“ liefert weitere Informationen.</translation>
    </message>
    <message>
        <source>Unknown option &apos;%1&apos;.</source>
        <translation>Unbekannte Option „%1“.</translation>
    </message>
    <message>
        <source>License GPLv3+: GNU GPL version 3 or later &lt;https://gnu.org/licenses/gpl.html&gt;.
This is free software: you are free to change and redistribute it.
There is NO WARRANTY, to the extent permitted by law.
</source>
        <translation>Lizenz GPLv3+: GNU GPL Version 3 oder neuer &lt;https://gnu.org/licenses/gpl.html&gt;.
Dies ist freie Software: Sie dürfen sie ändern und weitergeben.
Es gibt KEINE GARANTIE, soweit gesetzlich zulässig.
</translation>
    </message>
    <message>
        <source>too many arguments: at most a source and a destination folder</source>
        <translation>zu viele Argumente: höchstens ein Ausgangs- und ein Zielordner</translation>
    </message>
    <message>
        <source>source folder &apos;%1&apos;: %2</source>
        <translation>Ausgangsordner „%1“: %2</translation>
    </message>
    <message>
        <source>destination folder &apos;%1&apos;: %2</source>
        <translation>Zielordner „%1“: %2</translation>
    </message>
    <message>
        <source>Usage: %1 [OPTION]... [SOURCE [DESTINATION]]
  or:  %1 [OPTION]... PHOTO [DESTINATION]
Shows the photos and videos of the folder SOURCE one at a time, to move each
under a new name into the folder DESTINATION. Folders given here are chosen at
start, as if picked with the folder buttons. Given a PHOTO (or video) in place
of SOURCE, its folder is the source and that file is shown first.

Options:
  -h, --help     Display this help and exit.
      --version  Output version information and exit.
</source>
        <translation>Aufruf: %1 [OPTION]... [QUELLE [ZIEL]]
  oder: %1 [OPTION]... FOTO [ZIEL]
Zeigt die Fotos und Videos des Ordners QUELLE einzeln an, um jedes unter einem
neuen Namen in den Ordner ZIEL zu verschieben. Hier angegebene Ordner werden
beim Start gewählt, als wären sie mit den Ordner-Schaltflächen gewählt worden.
Wird statt QUELLE ein FOTO (oder Video) angegeben, ist sein Ordner die Quelle,
und diese Datei wird zuerst gezeigt.

Optionen:
  -h, --help     Diese Hilfe anzeigen und beenden.
      --version  Versionsinformation anzeigen und beenden.
</translation>
    </message>
</context>
<context>
    <name>Display</name>
    <message>
        <source>%1: cannot open the display: neither DISPLAY nor WAYLAND_DISPLAY is set</source>
        <translation>%1: Die Anzeige kann nicht geöffnet werden: Weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt</translation>
    </message>
    <message>
        <source>%1: cannot open the display (%2)</source>
        <translation>%1: Die Anzeige kann nicht geöffnet werden (%2)</translation>
    </message>
</context>
<context>
    <name>FolderPanel</name>
    <message>
        <source>Could not open the folder “%1”: %2</source>
        <translation>Der Ordner „%1“ kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>The folder “%1” was not found: its name is not valid text</source>
        <translation>Der Ordner „%1“ wurde nicht gefunden: Sein Name ist kein gültiger Text</translation>
    </message>
    <message>
        <source>The location “%1” is not a local folder</source>
        <translation>Der Ort „%1“ ist kein lokaler Ordner</translation>
    </message>
    <message>
        <source>Choose a Folder</source>
        <translation>Ordner wählen</translation>
    </message>
    <message>
        <source>This Folder Can’t Be Used</source>
        <translation>Dieser Ordner kann nicht verwendet werden</translation>
    </message>
    <message>
        <source>%1. Rename it in a file manager, or give it on the command line: shoebox SOURCE DESTINATION.</source>
        <translation>%1. Benennen Sie ihn in einer Dateiverwaltung um, oder geben Sie ihn auf der Befehlszeile an: shoebox QUELLE ZIEL.</translation>
    </message>
    <message numerus="yes">
        <source>The folder “%1” cannot be told apart from %n other folder(s) whose names show the same</source>
        <translation>
            <numerusform>Der Ordner „%1“ ist nicht von %n anderen Ordner zu unterscheiden, dessen Name gleich angezeigt wird</numerusform>
            <numerusform>Der Ordner „%1“ ist nicht von %n anderen Ordnern zu unterscheiden, deren Namen gleich angezeigt werden</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ImageView</name>
    <message>
        <source>file is missing</source>
        <translation>Datei fehlt</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>keine normale Datei</translation>
    </message>
    <message>
        <source>empty file</source>
        <translation>leere Datei</translation>
    </message>
    <message>
        <source>file can’t be read</source>
        <translation>Datei kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>unsupported or damaged image</source>
        <translation>nicht unterstütztes oder beschädigtes Bild</translation>
    </message>
    <message>
        <source>picture too large to show</source>
        <translation>Bild zu groß zum Anzeigen</translation>
    </message>
    <message>
        <source>HEIC support is not installed</source>
        <translation>HEIC-Unterstützung ist nicht installiert</translation>
    </message>
    <message>
        <source>Can’t show “%1”: %2</source>
        <translation>„%1“ kann nicht angezeigt werden: %2</translation>
    </message>
    <message>
        <source>unsupported or damaged video</source>
        <translation>nicht unterstütztes oder beschädigtes Video</translation>
    </message>
    <message>
        <source>Can’t play “%1”: %2</source>
        <translation>„%1“ kann nicht abgespielt werden: %2</translation>
    </message>
    <message>
        <source>video support is not installed</source>
        <translation>Video-Unterstützung ist nicht installiert</translation>
    </message>
    <message>
        <source>no video decoder is available</source>
        <translation>kein Video-Decoder verfügbar</translation>
    </message>
    <message>
        <source>picture too large to show (it would need %1 of memory; one picture may take %2 here)</source>
        <translation>Bild zu groß zum Anzeigen (es bräuchte %1 Speicher; ein Bild darf hier %2 belegen)</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Shoebox</source>
        <translation>Shoebox</translation>
    </message>
    <message>
        <source>&amp;Source Folder…</source>
        <translation>&amp;Ausgangsordner…</translation>
    </message>
    <message>
        <source>Choose the folder of photos and videos to sort</source>
        <translation>Den Ordner mit den Fotos und Videos wählen, die sortiert werden</translation>
    </message>
    <message>
        <source>Choose source folder</source>
        <translation>Ausgangsordner wählen</translation>
    </message>
    <message>
        <source>No source folder</source>
        <translation>Kein Ausgangsordner</translation>
    </message>
    <message>
        <source>Source folder</source>
        <translation>Ausgangsordner</translation>
    </message>
    <message>
        <source>&amp;Destination Folder…</source>
        <translation>&amp;Zielordner…</translation>
    </message>
    <message>
        <source>Choose the folder to move files into</source>
        <translation>Den Ordner wählen, in den die Dateien verschoben werden</translation>
    </message>
    <message>
        <source>Choose destination folder</source>
        <translation>Zielordner wählen</translation>
    </message>
    <message>
        <source>No destination folder</source>
        <translation>Kein Zielordner</translation>
    </message>
    <message>
        <source>Destination folder</source>
        <translation>Zielordner</translation>
    </message>
    <message>
        <source>Photo</source>
        <translation>Foto</translation>
    </message>
    <message>
        <source>Location of the file on show</source>
        <translation>Ort der angezeigten Datei</translation>
    </message>
    <message>
        <source>◀ Previous</source>
        <translation>◀ Zurück</translation>
    </message>
    <message>
        <source>Show the previous file</source>
        <translation>Die vorige Datei zeigen</translation>
    </message>
    <message>
        <source>Previous file</source>
        <translation>Vorige Datei</translation>
    </message>
    <message>
        <source>Position in the folder</source>
        <translation>Position im Ordner</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>Next ▶</source>
        <translation>Weiter ▶</translation>
    </message>
    <message>
        <source>Show the next file</source>
        <translation>Die nächste Datei zeigen</translation>
    </message>
    <message>
        <source>Next file</source>
        <translation>Nächste Datei</translation>
    </message>
    <message>
        <source>Subfolder &amp;1:</source>
        <translation>Unterordner &amp;1:</translation>
    </message>
    <message>
        <source>First-level subfolder of the destination, made when missing</source>
        <translation>Unterordner der ersten Ebene im Ziel; wird angelegt, wenn er fehlt</translation>
    </message>
    <message>
        <source>Subfolder 1</source>
        <translation>Unterordner 1</translation>
    </message>
    <message>
        <source>Subfolder 2 group</source>
        <translation>Gruppe Unterordner 2</translation>
    </message>
    <message>
        <source>Subfolder &amp;2:</source>
        <translation>Unterordner &amp;2:</translation>
    </message>
    <message>
        <source>Second-level subfolder, inside subfolder 1 when that is named</source>
        <translation>Unterordner der zweiten Ebene, in Unterordner 1, wenn dieser angegeben ist</translation>
    </message>
    <message>
        <source>Subfolder 2</source>
        <translation>Unterordner 2</translation>
    </message>
    <message>
        <source>Rename &amp;type:</source>
        <translation>Ar&amp;t der Umbenennung:</translation>
    </message>
    <message>
        <source>How the new name is built</source>
        <translation>Wie der neue Name gebildet wird</translation>
    </message>
    <message>
        <source>Rename type</source>
        <translation>Art der Umbenennung</translation>
    </message>
    <message>
        <source>New name only</source>
        <translation>Nur neuer Name</translation>
    </message>
    <message>
        <source>Original name and new name</source>
        <translation>Originalname und neuer Name</translation>
    </message>
    <message>
        <source>Short original name and new name</source>
        <translation>Kurzer Originalname und neuer Name</translation>
    </message>
    <message>
        <source>&amp;New name:</source>
        <translation>&amp;Neuer Name:</translation>
    </message>
    <message>
        <source>Type a name, then press Return</source>
        <translation>Namen eingeben, dann die Eingabetaste drücken</translation>
    </message>
    <message>
        <source>The new name; Return moves the file</source>
        <translation>Der neue Name; die Eingabetaste verschiebt die Datei</translation>
    </message>
    <message>
        <source>New name</source>
        <translation>Neuer Name</translation>
    </message>
    <message>
        <source>&amp;Move</source>
        <translation>&amp;Verschieben</translation>
    </message>
    <message>
        <source>Move the file into the destination under the new name</source>
        <translation>Die Datei unter dem neuen Namen ins Ziel verschieben</translation>
    </message>
    <message>
        <source>Move and rename</source>
        <translation>Verschieben und umbenennen</translation>
    </message>
    <message>
        <source>Move to T&amp;rash</source>
        <translation>In den Papie&amp;rkorb</translation>
    </message>
    <message>
        <source>Move the file to the Trash</source>
        <translation>Die Datei in den Papierkorb verschieben</translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation>In den Papierkorb verschieben</translation>
    </message>
    <message>
        <source>Destination preview</source>
        <translation>Vorschau des Ziels</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>Dat&amp;ei</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Go</source>
        <translation>&amp;Gehe zu</translation>
    </message>
    <message>
        <source>&amp;Photo</source>
        <translation>&amp;Foto</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Choose &amp;Source Folder…</source>
        <translation>&amp;Ausgangsordner wählen…</translation>
    </message>
    <message>
        <source>Choose &amp;Destination Folder…</source>
        <translation>&amp;Zielordner wählen…</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>&amp;Previous</source>
        <translation>&amp;Zurück</translation>
    </message>
    <message>
        <source>&amp;Next</source>
        <translation>&amp;Weiter</translation>
    </message>
    <message>
        <source>&amp;Move and Rename</source>
        <translation>&amp;Verschieben und umbenennen</translation>
    </message>
    <message>
        <source>Move to &amp;Trash</source>
        <translation>In den &amp;Papierkorb verschieben</translation>
    </message>
    <message>
        <source>Photo information</source>
        <translation>Fotoinformationen</translation>
    </message>
    <message>
        <source>Sorting</source>
        <translation>Sortieren</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Recent Destinations</source>
        <translation>&amp;Letzte Ziele</translation>
    </message>
    <message>
        <source>Zoom to &amp;1:1 or Fit</source>
        <translation>Auf &amp;1:1 zoomen oder einpassen</translation>
    </message>
    <message>
        <source>Zoom &amp;In</source>
        <translation>Ver&amp;größern</translation>
    </message>
    <message>
        <source>Zoom &amp;Out</source>
        <translation>Ver&amp;kleinern</translation>
    </message>
    <message>
        <source>Pan Left</source>
        <translation>Ausschnitt nach links</translation>
    </message>
    <message>
        <source>Pan Right</source>
        <translation>Ausschnitt nach rechts</translation>
    </message>
    <message>
        <source>Pan Up</source>
        <translation>Ausschnitt nach oben</translation>
    </message>
    <message>
        <source>Pan Down</source>
        <translation>Ausschnitt nach unten</translation>
    </message>
    <message>
        <source>Photo &amp;Information</source>
        <translation>Foto&amp;informationen</translation>
    </message>
    <message>
        <source>&amp;Full Screen</source>
        <translation>&amp;Vollbild</translation>
    </message>
    <message>
        <source>Leave Full Screen</source>
        <translation>Vollbild verlassen</translation>
    </message>
    <message>
        <source>&amp;Cancel Move</source>
        <translation>Verschieben &amp;abbrechen</translation>
    </message>
    <message>
        <source>&amp;Keyboard Shortcuts</source>
        <translation>&amp;Tastenkürzel</translation>
    </message>
    <message>
        <source>&amp;About Shoebox</source>
        <translation>&amp;Über Shoebox</translation>
    </message>
    <message>
        <source>Move Com&amp;panion Files Together</source>
        <translation>&amp;Begleitdateien mitverschieben</translation>
    </message>
</context>
<context>
    <name>PhotoInfo</name>
    <message>
        <source>date unknown</source>
        <translation>Datum unbekannt</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>ignoring the settings file %1: it is not a regular file</source>
        <translation>die Einstellungsdatei %1 wird übergangen: sie ist keine gewöhnliche Datei</translation>
    </message>
</context>
<context>
    <name>Shortcuts</name>
    <message>
        <source>Choose source folder</source>
        <translation>Ausgangsordner wählen</translation>
    </message>
    <message>
        <source>Choose destination folder</source>
        <translation>Zielordner wählen</translation>
    </message>
    <message>
        <source>Previous file</source>
        <translation>Vorige Datei</translation>
    </message>
    <message>
        <source>Next file</source>
        <translation>Nächste Datei</translation>
    </message>
    <message>
        <source>Move and rename</source>
        <translation>Verschieben und umbenennen</translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation>In den Papierkorb verschieben</translation>
    </message>
    <message>
        <source>Focus the name field</source>
        <translation>Zum Namensfeld</translation>
    </message>
    <message>
        <source>Focus subfolder 1</source>
        <translation>Zu Unterordner 1</translation>
    </message>
    <message>
        <source>Focus subfolder 2</source>
        <translation>Zu Unterordner 2</translation>
    </message>
    <message>
        <source>Focus the rename type</source>
        <translation>Zur Art der Umbenennung</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Keyboard shortcuts</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source> or </source>
        <extracomment>Between two keys that do the same: &quot;Left or Page Up&quot;.</extracomment>
        <translation> oder </translation>
    </message>
    <message>
        <source>%1 in the name field</source>
        <translation>%1 im Namensfeld</translation>
    </message>
    <message>
        <source>%1 anywhere</source>
        <translation>%1 überall</translation>
    </message>
    <message>
        <source>%1 when no text box has focus</source>
        <translation>%1, wenn kein Textfeld den Fokus hat</translation>
    </message>
    <message>
        <source>Keyboard Shortcuts</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>Command</source>
        <translation>Befehl</translation>
    </message>
    <message>
        <source>Keys</source>
        <translation>Tasten</translation>
    </message>
    <message>
        <source>Fill the subfolders with recent destination 1 to 9</source>
        <translation>Unterordner mit dem letzten Ziel 1 bis 9 füllen</translation>
    </message>
    <message>
        <source>Zoom to 1:1, or back to fit</source>
        <translation>Auf 1:1 zoomen oder wieder einpassen</translation>
    </message>
    <message>
        <source>Zoom in</source>
        <translation>Vergrößern</translation>
    </message>
    <message>
        <source>Zoom out</source>
        <translation>Verkleinern</translation>
    </message>
    <message>
        <source>Pan the zoomed picture</source>
        <translation>Den Ausschnitt des vergrößerten Bildes verschieben</translation>
    </message>
    <message>
        <source>Photo information</source>
        <translation>Fotoinformationen</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>Vollbild</translation>
    </message>
    <message>
        <source>Leave full screen</source>
        <translation>Vollbild verlassen</translation>
    </message>
    <message>
        <source>Cancel the move under way</source>
        <translation>Laufendes Verschieben abbrechen</translation>
    </message>
</context>
<context>
    <name>Sorting</name>
    <message>
        <source>Move to Trash of “%1”</source>
        <translation>Verschieben von „%1“ in den Papierkorb</translation>
    </message>
    <message>
        <source>Move of “%1”</source>
        <translation>Verschieben von „%1“</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
    <message>
        <source>Undo %1</source>
        <translation>%1 rückgängig machen</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Redo %1</source>
        <translation>%1 wiederholen</translation>
    </message>
    <message>
        <source>“%1” is too long for a name: the move would fail.</source>
        <translation>„%1“ ist zu lang für einen Namen: Das Verschieben würde scheitern.</translation>
    </message>
    <message>
        <source>“%1” is no longer in its folder: there is nothing to move.</source>
        <translation>„%1“ ist nicht mehr in seinem Ordner: Es gibt nichts zu verschieben.</translation>
    </message>
    <message>
        <source>“%1” is a file, not a folder: the move would fail.</source>
        <translation>„%1“ ist eine Datei, kein Ordner: Das Verschieben würde scheitern.</translation>
    </message>
    <message>
        <source>The destination folder “%1” is missing: the move would fail.</source>
        <translation>Der Zielordner „%1“ fehlt: Das Verschieben würde scheitern.</translation>
    </message>
    <message>
        <source>“%1” is taken: the move would fail.</source>
        <translation>„%1“ ist schon vergeben: Das Verschieben würde scheitern.</translation>
    </message>
    <message>
        <source>A name can’t contain “/”. Type the name without slashes.</source>
        <translation>Ein Name darf kein „/“ enthalten. Geben Sie den Namen ohne Schrägstriche ein.</translation>
    </message>
    <message>
        <source>A name can’t contain a null character.</source>
        <translation>Ein Name darf kein Nullzeichen enthalten.</translation>
    </message>
    <message>
        <source>Type a name for the file first.</source>
        <translation>Geben Sie zuerst einen Namen für die Datei ein.</translation>
    </message>
    <message>
        <source>A name that begins with “.” would hide the file. Type a name that begins with another character.</source>
        <translation>Ein Name, der mit „.“ beginnt, würde die Datei verstecken. Geben Sie einen Namen ein, der mit einem anderen Zeichen beginnt.</translation>
    </message>
    <message>
        <source>A folder name can’t contain a null character.</source>
        <translation>Ein Ordnername darf kein Nullzeichen enthalten.</translation>
    </message>
    <message>
        <source>Choose a source folder to start.</source>
        <translation>Wählen Sie zu Beginn einen Ausgangsordner.</translation>
    </message>
    <message>
        <source>Choose a destination folder to see where the file will go.</source>
        <translation>Wählen Sie einen Zielordner, um zu sehen, wohin die Datei kommt.</translation>
    </message>
    <message>
        <source>There is no file to move.</source>
        <translation>Es gibt keine Datei zum Verschieben.</translation>
    </message>
    <message>
        <source>No Image Files Found!</source>
        <translation>Keine Bilddateien gefunden!</translation>
    </message>
    <message>
        <source>Please choose a source folder that contains image files you ninny.</source>
        <translation>Bitte wählen Sie einen Ausgangsordner, der Bilddateien enthält, Sie Schussel.</translation>
    </message>
    <message>
        <source>No Image Source!</source>
        <translation>Keine Bildquelle!</translation>
    </message>
    <message>
        <source>Choose a source folder of images before you can start moving them.</source>
        <translation>Wählen Sie einen Ausgangsordner mit Bildern, bevor Sie mit dem Verschieben beginnen.</translation>
    </message>
    <message>
        <source>No Destination!</source>
        <translation>Kein Ziel!</translation>
    </message>
    <message>
        <source>Choose a destination folder for the images to move to. (This can be the same as the source folder.)</source>
        <translation>Wählen Sie einen Zielordner, in den die Bilder verschoben werden. (Das kann auch der Ausgangsordner sein.)</translation>
    </message>
    <message>
        <source>This Name Can’t Be Used</source>
        <translation>Dieser Name kann nicht verwendet werden</translation>
    </message>
    <message>
        <source>File Renamed: </source>
        <translation>Datei umbenannt: </translation>
    </message>
    <message>
        <source>File Moved to Trash.</source>
        <translation>Datei in den Papierkorb verschoben.</translation>
    </message>
    <message>
        <source>Can’t undo %1: %2</source>
        <translation>%1 kann nicht rückgängig gemacht werden: %2</translation>
    </message>
    <message>
        <source>Undone: %1.</source>
        <translation>Rückgängig gemacht: %1.</translation>
    </message>
    <message>
        <source>Can’t redo %1: %2</source>
        <translation>%1 kann nicht wiederholt werden: %2</translation>
    </message>
    <message>
        <source>Redone: %1.</source>
        <translation>Wiederholt: %1.</translation>
    </message>
    <message>
        <source>counting…</source>
        <translation>wird gezählt…</translation>
    </message>
    <message>
        <source>Wait for the move to end, or press Escape to cancel it.</source>
        <translation>Warten Sie, bis das Verschieben fertig ist, oder brechen Sie es mit Esc ab.</translation>
    </message>
    <message>
        <source>Undone: %1 (it was back in its folder already).</source>
        <translation>Rückgängig gemacht: %1 (die Datei war schon wieder in ihrem Ordner).</translation>
    </message>
    <message>
        <source>Move to Trash of “%1” and 1 companion</source>
        <translation>Verschieben von „%1“ und 1 Begleitdatei in den Papierkorb</translation>
    </message>
    <message>
        <source>Move of “%1” and 1 companion</source>
        <translation>Verschieben von „%1“ und 1 Begleitdatei</translation>
    </message>
    <message>
        <source>Move to Trash of “%1” and %2 companions</source>
        <translation>Verschieben von „%1“ und %2 Begleitdateien in den Papierkorb</translation>
    </message>
    <message>
        <source>Move of “%1” and %2 companions</source>
        <translation>Verschieben von „%1“ und %2 Begleitdateien</translation>
    </message>
</context>
<context>
    <name>shoebox::FolderCompletion</name>
    <message>
        <source>date taken</source>
        <translation>Aufnahmedatum</translation>
    </message>
    <message>
        <source>Suggested from the date the photo was taken</source>
        <translation>Vorgeschlagen nach dem Aufnahmedatum des Fotos</translation>
    </message>
</context>
<context>
    <name>shoebox::ImageViewWidget</name>
    <message>
        <source>Photo</source>
        <translation>Foto</translation>
    </message>
</context>
<context>
    <name>shoebox::MainWindow</name>
    <message>
        <source>Choose the Source Folder</source>
        <translation>Ausgangsordner wählen</translation>
    </message>
    <message>
        <source>Choose the Destination Folder</source>
        <translation>Zielordner wählen</translation>
    </message>
    <message>
        <source>Clear the name</source>
        <translation>Namen löschen</translation>
    </message>
    <message>
        <source>No moves yet</source>
        <translation>Noch nichts verschoben</translation>
    </message>
    <message>
        <source>Recent destination %1</source>
        <translation>Letztes Ziel %1</translation>
    </message>
    <message>
        <source>No subfolders</source>
        <translation>Keine Unterordner</translation>
    </message>
    <message>
        <source>(none)</source>
        <translation>(keiner)</translation>
    </message>
</context>
<context>
    <name>shoebox::MoveProgressDialog</name>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Moving %1</source>
        <translation>%1 wird verschoben</translation>
    </message>
    <message>
        <source>Moving “%1” to “%2”</source>
        <translation>„%1“ wird nach „%2“ verschoben</translation>
    </message>
    <message>
        <source>Bytes copied and rate</source>
        <translation>Kopierte Bytes und Geschwindigkeit</translation>
    </message>
    <message>
        <source>Copy progress</source>
        <translation>Kopierfortschritt</translation>
    </message>
    <message>
        <source>Stop the move; the file stays where it is (Escape)</source>
        <translation>Das Verschieben abbrechen; die Datei bleibt, wo sie ist (Esc)</translation>
    </message>
    <message>
        <source>Cancel the move</source>
        <translation>Verschieben abbrechen</translation>
    </message>
    <message>
        <source>Preparing…</source>
        <translation>Wird vorbereitet…</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>, %1/s</source>
        <translation>, %1/s</translation>
    </message>
    <message>
        <source>Cancelling…</source>
        <translation>Wird abgebrochen…</translation>
    </message>
</context>
</TS>
