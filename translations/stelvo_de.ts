<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>BindPasswordDialog</name>
    <message>
        <source>Password of &quot;%1&quot; on the directory server %2:</source>
        <translation>Kennwort für „%1“ auf dem Verzeichnisserver %2:</translation>
    </message>
    <message>
        <source>Bind password</source>
        <translation>Kennwort für die Anmeldung</translation>
    </message>
    <message>
        <source>The directory server refused the password kept in the keyring.</source>
        <translation>Der Verzeichnisserver hat das im Schlüsselbund aufbewahrte Passwort abgelehnt.</translation>
    </message>
    <message>
        <source>The directory server refused this password.</source>
        <translation>Der Verzeichnisserver hat dieses Passwort abgelehnt.</translation>
    </message>
    <message>
        <source>&amp;Remember the password in the keyring</source>
        <translation>Passwort im Schlüsselbund &amp;merken</translation>
    </message>
    <message>
        <source>The password is not kept: no keyring is available.</source>
        <translation>Das Passwort wird nicht aufbewahrt: Kein Schlüsselbund ist verfügbar.</translation>
    </message>
    <message>
        <source>The password is not kept: no keyring is available (%1).</source>
        <translation>Das Passwort wird nicht aufbewahrt: Kein Schlüsselbund ist verfügbar (%1).</translation>
    </message>
    <message>
        <source>The password could not be kept in the keyring: %1</source>
        <translation>Das Passwort konnte nicht im Schlüsselbund aufbewahrt werden: %1</translation>
    </message>
</context>
<context>
    <name>DirectoryError</name>
    <message>
        <source>out of memory</source>
        <translation>Speicher erschöpft</translation>
    </message>
    <message>
        <source>an unexpected error</source>
        <translation>ein unerwarteter Fehler</translation>
    </message>
</context>
<context>
    <name>DirectoryFactory</name>
    <message>
        <source>The embedded sample directory was searched, because no directory was configured: name one with %1.</source>
        <translation>Das eingebettete Beispielverzeichnis wurde durchsucht, weil kein Verzeichnis eingestellt ist: nennen Sie eines über %1.</translation>
    </message>
    <message>
        <source> The context comes from %1.</source>
        <translation> Der Kontext wurde mit %1 angegeben.</translation>
    </message>
</context>
<context>
    <name>LdapCollector</name>
    <message>
        <source>The directory server %1 sent an entry without a DN, so the tree would be incomplete</source>
        <translation>Der Verzeichnisserver %1 hat einen Eintrag ohne DN gesendet, daher wäre der Baum unvollständig</translation>
    </message>
    <message>
        <source>The directory server %1 sent the entry &quot;%2&quot;, whose DN cannot be read, so the tree would be incomplete</source>
        <translation>Der Verzeichnisserver %1 hat den Eintrag „%2“ gesendet, dessen DN nicht lesbar ist, daher wäre der Baum unvollständig</translation>
    </message>
</context>
<context>
    <name>LdapConnection</name>
    <message>
        <source>unbalanced enclosure</source>
        <translation>unausgeglichene Klammerung</translation>
    </message>
    <message>
        <source>bad host or port</source>
        <translation>ungültiger Rechner oder Port</translation>
    </message>
    <message>
        <source>bad attribute list</source>
        <translation>ungültige Attributliste</translation>
    </message>
    <message>
        <source>bad scope</source>
        <translation>ungültiger Suchbereich</translation>
    </message>
    <message>
        <source>bad filter</source>
        <translation>ungültiger Filter</translation>
    </message>
    <message>
        <source>bad extensions</source>
        <translation>ungültige Erweiterungen</translation>
    </message>
    <message>
        <source>malformed URL</source>
        <translation>fehlerhafte URL</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a usable LDAP URL: malformed DN &quot;%2&quot;: %3</source>
        <translation>„%1“ ist keine verwendbare LDAP-URL: fehlerhafter DN „%2“: %3</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a usable LDAP URL</source>
        <translation>„%1“ ist keine verwendbare LDAP-URL</translation>
    </message>
    <message>
        <source>Cannot use the bind password file: %1</source>
        <translation>Die Kennwortdatei für die Anmeldung kann nicht verwendet werden: %1</translation>
    </message>
    <message>
        <source>The bind password file &quot;%1&quot; is empty</source>
        <translation>Die Kennwortdatei für die Anmeldung „%1“ ist leer</translation>
    </message>
    <message>
        <source>; if the server is up, its certificate may not be trusted (TLS_CACERT in ldap.conf, or LDAPTLS_CACERT)</source>
        <translation>; falls der Server läuft, wird seinem Zertifikat möglicherweise nicht vertraut (TLS_CACERT in ldap.conf oder LDAPTLS_CACERT)</translation>
    </message>
    <message>
        <source>Cannot connect to the directory server %1: %2</source>
        <translation>Keine Verbindung zum Verzeichnisserver %1 möglich: %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a usable LDAP URL: %2</source>
        <translation>„%1“ ist keine verwendbare LDAP-URL: %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a usable LDAP URL: it may name the server and the tree root&apos;s DN only, no attributes, filter or extensions</source>
        <translation>„%1“ ist keine verwendbare LDAP-URL: sie darf nur den Server und den DN der Baumwurzel nennen, keine Attribute, Filter oder Erweiterungen</translation>
    </message>
    <message>
        <source>Cannot use the directory server %1: %2</source>
        <translation>Der Verzeichnisserver %1 kann nicht verwendet werden: %2</translation>
    </message>
    <message>
        <source>StartTLS with the directory server %1 failed: %2</source>
        <translation>StartTLS mit dem Verzeichnisserver %1 ist fehlgeschlagen: %2</translation>
    </message>
    <message>
        <source>The directory server %1 refused the anonymous bind: %2</source>
        <translation>Der Verzeichnisserver %1 hat die anonyme Anmeldung abgelehnt: %2</translation>
    </message>
    <message>
        <source>The directory server %1 refused the bind as &quot;%2&quot;: %3</source>
        <translation>Der Verzeichnisserver %1 hat die Anmeldung als „%2“ abgelehnt: %3</translation>
    </message>
    <message>
        <source>it does not start with ldap://, ldaps:// or ldapi://</source>
        <translation>sie beginnt nicht mit ldap://, ldaps:// oder ldapi://</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a usable LDAP URL: only ldap://, ldaps:// and ldapi:// are supported</source>
        <translation>„%1“ ist keine verwendbare LDAP-URL: nur ldap://, ldaps:// und ldapi:// werden unterstützt</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a usable LDAP URL: an ldapi:// URL names the absolute path of a socket, %-encoded (ldapi://%2Frun%2Fslapd%2Fldapi/BASE-DN)</source>
        <translation>„%1“ ist keine verwendbare LDAP-URL: eine ldapi://-URL nennt den absoluten Pfad eines Sockets, %-kodiert (ldapi://%2Frun%2Fslapd%2Fldapi/BASIS-DN)</translation>
    </message>
    <message>
        <source>the socket path is longer than %1 bytes</source>
        <translation>der Pfad des Sockets ist länger als %1 Byte</translation>
    </message>
    <message>
        <source>Cannot sign on to the directory server %1 with SASL %2: this machine&apos;s SASL library has no %2 mechanism: %3%4</source>
        <translation>Keine Anmeldung am Verzeichnisserver %1 mit SASL %2 möglich: die SASL-Bibliothek dieses Rechners hat keinen Mechanismus %2: %3%4</translation>
    </message>
    <message>
        <source>The directory server %1 refused the SASL %2 sign-on as %3: %4%5</source>
        <translation>Der Verzeichnisserver %1 hat die Anmeldung mit SASL %2 abgelehnt: %4%5 – Identität: %3</translation>
    </message>
    <message>
        <source>; the server&apos;s certificate is made out to another host name than &quot;%1&quot;: use a name the certificate names in the URL</source>
        <translation>; das Zertifikat des Servers ist auf einen anderen Hostnamen als „%1“ ausgestellt: verwenden Sie in der URL einen Namen, den das Zertifikat nennt</translation>
    </message>
    <message>
        <source>SASL %1 as %2</source>
        <translation>SASL %1 als %2</translation>
    </message>
    <message>
        <source>the bind DN &quot;%1&quot;</source>
        <translation>der Anmelde-DN „%1“</translation>
    </message>
    <message>
        <source>anonymous access</source>
        <translation>anonymer Zugriff</translation>
    </message>
    <message>
        <source>; the server does not let anonymous users search: give an account with --bind-dn and --password-file (bind-dn and password-file in stelvo.conf, or STELVO_BIND_DN and STELVO_BIND_PASSWORD_FILE), or sign on with Kerberos (--sasl-mech GSSAPI)</source>
        <translation>; der Server lässt anonyme Benutzer nicht suchen: geben Sie ein Konto mit --bind-dn und --password-file an (bind-dn und password-file in stelvo.conf oder STELVO_BIND_DN und STELVO_BIND_PASSWORD_FILE), oder melden Sie sich mit Kerberos an (--sasl-mech GSSAPI)</translation>
    </message>
    <message>
        <source>
Passed over before it: %1.</source>
        <translation>
Davor übergangen: %1.</translation>
    </message>
    <message>
        <source>None of the directory servers answered:
%1</source>
        <translation>Keiner der Verzeichnisserver hat geantwortet:
%1</translation>
    </message>
    <message>
        <source>No domain controller of %1 could be reached (the domain comes from %2).
Asked DNS for: %3.</source>
        <translation>Kein Domänencontroller von %1 war erreichbar (die Domäne stammt aus %2).
Im DNS erfragt: %3.</translation>
    </message>
    <message>
        <source>
DNS names no controller for the domain.</source>
        <translation>
Das DNS nennt keinen Controller der Domäne.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a usable LDAP URL: the servers of a list must share the scheme and the tree root&apos;s DN</source>
        <translation>„%1“ ist keine verwendbare LDAP-URL: die Server einer Liste müssen Schema und DN der Baumwurzel gemeinsam haben</translation>
    </message>
</context>
<context>
    <name>LdapDirectory</name>
    <message>
        <source>STELVO_STARTTLS=1 cannot be used with %1: an ldaps:// connection is encrypted already</source>
        <translation>STELVO_STARTTLS=1 kann nicht mit %1 verwendet werden: eine ldaps://-Verbindung ist bereits verschlüsselt</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a directory attribute name</source>
        <translation>„%1“ ist kein Attributname des Verzeichnisses</translation>
    </message>
    <message>
        <source>The search names no directory class to look for</source>
        <translation>Die Suche nennt keine Verzeichnisklasse, nach der gesucht werden soll</translation>
    </message>
    <message>
        <source>The directory server %1 is set up as tree %2, not %3</source>
        <translation>Der Verzeichnisserver %1 ist als Baum %2 eingerichtet, nicht als %3</translation>
    </message>
    <message>
        <source>The connection to the directory server %1 was lost: %2</source>
        <translation>Die Verbindung zum Verzeichnisserver %1 ist abgebrochen: %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not in the directory</source>
        <translation>„%1“ ist nicht im Verzeichnis</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a name in tree %2</source>
        <translation>„%1“ ist kein Name im Baum %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is the tree itself, not an entry in it</source>
        <translation>„%1“ ist der Baum selbst, kein Eintrag darin</translation>
    </message>
    <message>
        <source>StartTLS cannot be used with %1: an ldapi:// connection never leaves this machine</source>
        <translation>StartTLS kann nicht mit %1 verwendet werden: eine ldapi://-Verbindung verlässt diesen Rechner nie</translation>
    </message>
    <message>
        <source>The SASL mechanism %1 signs on with its own identity (a Kerberos ticket, the connection&apos;s credentials): a bind DN or a bind password file cannot be given with it</source>
        <translation>Der SASL-Mechanismus %1 meldet sich mit seiner eigenen Identität an (einem Kerberos-Ticket, den Anmeldedaten der Verbindung): ein DN oder eine Kennwortdatei für die Anmeldung kann dazu nicht angegeben werden</translation>
    </message>
</context>
<context>
    <name>LdapLookup</name>
    <message>
        <source>The directory server %1 could not look up &quot;%2&quot;: %3</source>
        <translation>Der Verzeichnisserver %1 konnte „%2“ nicht nachschlagen: %3</translation>
    </message>
    <message>
        <source>The directory server %1 could not read &quot;%2&quot;: %3</source>
        <translation>Der Verzeichnisserver %1 konnte „%2“ nicht lesen: %3</translation>
    </message>
</context>
<context>
    <name>LdapNotification</name>
    <message>
        <source>%1. Changes made since are shown once the connection is back.</source>
        <translation>%1. Änderungen seitdem werden angezeigt, sobald die Verbindung wieder besteht.</translation>
    </message>
    <message>
        <source>Changes of the directory on %1 are no longer followed: the program ran out of memory. Refresh the tree (F5) to see them.</source>
        <translation>Änderungen des Verzeichnisses auf %1 werden nicht mehr verfolgt: Dem Programm ging der Speicher aus. Aktualisieren Sie den Baum (F5), um sie zu sehen.</translation>
    </message>
    <message>
        <source>The directory server %1 stopped sending changes: %2</source>
        <translation>Der Verzeichnisserver %1 sendet keine Änderungen mehr: %2</translation>
    </message>
    <message>
        <source>The directory server %1 could not be searched for changes: %2</source>
        <translation>Der Verzeichnisserver %1 konnte nicht nach Änderungen durchsucht werden: %2</translation>
    </message>
    <message>
        <source>The connection to the directory server %1 was lost: %2</source>
        <translation>Die Verbindung zum Verzeichnisserver %1 ist abgebrochen: %2</translation>
    </message>
</context>
<context>
    <name>LdapSasl</name>
    <message>
        <source>the TLS client certificate (TLS_CERT, LDAPTLS_CERT)</source>
        <translation>das TLS-Clientzertifikat (TLS_CERT, LDAPTLS_CERT)</translation>
    </message>
    <message>
        <source>no identity (EXTERNAL needs ldapi:// or a TLS client certificate)</source>
        <translation>keine (EXTERNAL braucht ldapi:// oder ein TLS-Clientzertifikat)</translation>
    </message>
    <message>
        <source>the Kerberos ticket of the default credential cache</source>
        <translation>das Kerberos-Ticket des Standard-Credential-Caches</translation>
    </message>
    <message>
        <source>the Kerberos ticket of %1</source>
        <translation>das Kerberos-Ticket aus %1</translation>
    </message>
    <message>
        <source>the local user with uid %1</source>
        <translation>der lokale Benutzer mit der UID %1</translation>
    </message>
    <message>
        <source> (install the package libsasl2-modules-gssapi-mit)</source>
        <translation> (installieren Sie das Paket libsasl2-modules-gssapi-mit)</translation>
    </message>
    <message>
        <source> (the mechanism asks &quot;%1&quot;; Stelvo answers no prompts: use GSSAPI or EXTERNAL)</source>
        <translation> (der Mechanismus fragt „%1“; Stelvo beantwortet keine Rückfragen: verwenden Sie GSSAPI oder EXTERNAL)</translation>
    </message>
    <message>
        <source> (no Kerberos ticket: run kinit)</source>
        <translation> (kein Kerberos-Ticket: führen Sie kinit aus)</translation>
    </message>
    <message>
        <source> (the Kerberos ticket has expired: run kinit)</source>
        <translation> (das Kerberos-Ticket ist abgelaufen: führen Sie kinit aus)</translation>
    </message>
    <message>
        <source> (name the server in the directory URL by the host name of its ldap/ service principal, not by its address; if that name is still replaced by a reverse lookup, set SASL_NOCANON on in ldap.conf)</source>
        <translation> (nennen Sie den Server in der Verzeichnis-URL mit dem Hostnamen seines ldap/-Dienstprinzipals, nicht mit seiner Adresse; wird dieser Name dennoch durch eine Rückwärtsauflösung ersetzt, setzen Sie SASL_NOCANON on in ldap.conf)</translation>
    </message>
</context>
<context>
    <name>LdapSearch</name>
    <message>
        <source>The directory server %1 names no naming contexts; give the DN of the tree root in the URL</source>
        <translation>Der Verzeichnisserver %1 nennt keine Namenskontexte; geben Sie den DN der Baumwurzel in der URL an</translation>
    </message>
    <message>
        <source>The search on the directory server %1 failed: %2</source>
        <translation>Die Suche auf dem Verzeichnisserver %1 ist fehlgeschlagen: %2</translation>
    </message>
    <message>
        <source>The directory server %1 stopped answering the search</source>
        <translation>Der Verzeichnisserver %1 antwortet nicht mehr auf die Suche</translation>
    </message>
    <message>
        <source>The directory server %1 ended a page of the search with a paged-results control that cannot be read, so the tree would be incomplete: %2</source>
        <translation>Der Verzeichnisserver %1 hat eine Seite der Suche mit einem unlesbaren Paged-Results-Steuerelement beendet, daher wäre der Baum unvollständig: %2</translation>
    </message>
    <message>
        <source>The connection to the directory server %1 was lost during the search: %2</source>
        <translation>Die Verbindung zum Verzeichnisserver %1 ist während der Suche abgebrochen: %2</translation>
    </message>
    <message>
        <source>The directory server %1 stopped the search at its size limit after %2 entries%3, so the tree would be incomplete: %4</source>
        <translation>Der Verzeichnisserver %1 hat die Suche nach %2 Einträgen an seiner Größenbeschränkung beendet%3, daher wäre der Baum unvollständig: %4</translation>
    </message>
    <message>
        <source> (it does not allow paged searches)</source>
        <translation> (er erlaubt keine seitenweise Suche)</translation>
    </message>
    <message>
        <source>; the nearest existing entry is &quot;%1&quot;</source>
        <translation>; der nächste vorhandene Eintrag ist „%1“</translation>
    </message>
    <message>
        <source>The directory server %1 did not name its naming contexts: %2%3</source>
        <translation>Der Verzeichnisserver %1 hat seine Namenskontexte nicht genannt: %2%3</translation>
    </message>
    <message>
        <source>The search on the directory server %1 failed: %2%3</source>
        <translation>Die Suche auf dem Verzeichnisserver %1 ist fehlgeschlagen: %2%3</translation>
    </message>
    <message>
        <source>The directory server %1 stopped the search at an administrative limit after %2 entries, so the tree would be incomplete: %3. The server&apos;s limits for %4 are too low for this directory: raise them for this account (389 Directory Server: nsPagedLookThroughLimit or nsLookThroughLimit on its entry; OpenLDAP: limits in the database&apos;s configuration)</source>
        <translation>Der Verzeichnisserver %1 hat die Suche nach %2 Einträgen an einer administrativen Grenze beendet, daher wäre der Baum unvollständig: %3. Die Grenzen des Servers für dieses Konto (%4) sind für dieses Verzeichnis zu niedrig: erhöhen Sie sie (389 Directory Server: nsPagedLookThroughLimit oder nsLookThroughLimit an seinem Eintrag; OpenLDAP: limits in der Konfiguration der Datenbank)</translation>
    </message>
    <message>
        <source>The directory server %1 has no entry &quot;%2&quot; for the tree root, or does not let %3 read it: %4</source>
        <translation>Der Verzeichnisserver %1 hat keinen Eintrag „%2“ für die Baumwurzel, oder das Konto (%3) darf ihn nicht lesen: %4</translation>
    </message>
    <message>
        <source>The directory server %1 does not hold the context &quot;%2&quot;, or does not let %3 read it</source>
        <translation>Der Verzeichnisserver %1 enthält den Kontext „%2“ nicht, oder das Konto (%3) darf ihn nicht lesen</translation>
    </message>
    <message>
        <source>The domain controller %1 did not answer for its root DSE: %2</source>
        <translation>Der Domänencontroller %1 hat seine Root-DSE nicht geliefert: %2</translation>
    </message>
</context>
<context>
    <name>LdapWatch</name>
    <message>
        <source>The directory server %1 stopped sending its changes: %2</source>
        <translation>Der Verzeichnisserver %1 sendet seine Änderungen nicht mehr: %2</translation>
    </message>
    <message>
        <source>The directory server %1 stopped sending the directory&apos;s content after %2 entries and never said it was done, so the tree does not follow it: it stops at a limit of %3 (389 Directory Server: set nsSizeLimit: -1 and nsLookThroughLimit: -1 on the bind account&apos;s entry). Press F5 to read the tree again meanwhile</source>
        <translation>Der Verzeichnisserver %1 hat nach %2 Einträgen aufgehört, den Inhalt des Verzeichnisses zu senden, ohne das Ende zu melden; der Baum folgt ihm daher nicht: Er hält an einer Grenze für %3 an (389 Directory Server: nsSizeLimit: -1 und nsLookThroughLimit: -1 am Eintrag des Anmeldekontos setzen). Drücken Sie bis dahin F5, um den Baum neu zu lesen</translation>
    </message>
    <message>
        <source>The directory server %1 stopped sending the directory&apos;s content at its size limit after %2 entries, so the tree does not follow it: %3 needs an unlimited size limit (OpenLDAP: olcLimits with size=unlimited for it; 389 Directory Server: nsSizeLimit: -1 and nsLookThroughLimit: -1 on its entry). Press F5 to read the tree again meanwhile</source>
        <translation>Der Verzeichnisserver %1 hat den Inhalt des Verzeichnisses nach %2 Einträgen an seiner Größengrenze abgebrochen; der Baum folgt ihm daher nicht: %3 braucht eine unbegrenzte Größengrenze (OpenLDAP: olcLimits mit size=unlimited dafür; 389 Directory Server: nsSizeLimit: -1 und nsLookThroughLimit: -1 an seinem Eintrag). Drücken Sie bis dahin F5, um den Baum neu zu lesen</translation>
    </message>
    <message>
        <source>The directory server %1 does not let %2 follow its changes: %3%4. The account must be one that binds and may read the tree</source>
        <translation>Der Verzeichnisserver %1 lässt %2 seinen Änderungen nicht folgen: %3%4. Das Konto muss sich anmelden und den Baum lesen dürfen</translation>
    </message>
    <message>
        <source>The directory server %1 refused to send its changes: %2</source>
        <translation>Der Verzeichnisserver %1 hat abgelehnt, seine Änderungen zu senden: %2</translation>
    </message>
    <message>
        <source>The directory server %1 did not say how it sends its changes: %2</source>
        <translation>Der Verzeichnisserver %1 hat nicht mitgeteilt, wie er seine Änderungen sendet: %2</translation>
    </message>
    <message>
        <source>The directory server %1 does not send its changes: press F5 to read it again, or set poll-interval.</source>
        <translation>Der Verzeichnisserver %1 sendet seine Änderungen nicht: Drücken Sie F5, um ihn neu zu lesen, oder setzen Sie poll-interval.</translation>
    </message>
</context>
<context>
    <name>LdifDirectory</name>
    <message>
        <source>The directory does not hold the context &quot;%1&quot;.</source>
        <translation>Das Verzeichnis enthält den Kontext „%1“ nicht.</translation>
    </message>
    <message>
        <source>%1 cannot be read: %2.</source>
        <translation>%1 kann nicht gelesen werden: %2.</translation>
    </message>
    <message>
        <source>Searching by attribute &quot;%1&quot; is not supported.</source>
        <translation>Die Suche nach dem Attribut „%1“ wird nicht unterstützt.</translation>
    </message>
    <message>
        <source>%1 is not in the directory.</source>
        <translation>%1 ist nicht im Verzeichnis.</translation>
    </message>
    <message>
        <source>Changes to %1 are not followed: the system would not watch it or its folder. Press F5 to read it again.</source>
        <translation>Änderungen an %1 werden nicht verfolgt: Das System überwacht weder die Datei noch ihren Ordner. Mit F5 wird sie neu gelesen.</translation>
    </message>
</context>
<context>
    <name>LdifTree</name>
    <message>
        <source>%1, line %2: %3</source>
        <translation>%1, Zeile %2: %3</translation>
    </message>
    <message>
        <source>malformed LDIF record: %1</source>
        <translation>fehlerhafter LDIF-Datensatz: %1</translation>
    </message>
    <message>
        <source>only entries are accepted, not change records</source>
        <translation>nur Einträge sind erlaubt, keine Änderungsdatensätze</translation>
    </message>
    <message>
        <source>the entry has no DN</source>
        <translation>der Eintrag hat keinen DN</translation>
    </message>
    <message>
        <source>malformed LDIF record</source>
        <translation>fehlerhafter LDIF-Datensatz</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is already in the directory (line %2)</source>
        <translation>„%1“ ist bereits im Verzeichnis (Zeile %2)</translation>
    </message>
    <message>
        <source>&quot;%1&quot; lies outside the tree: its parent %2 is not in the directory</source>
        <translation>„%1“ liegt außerhalb des Baums: sein übergeordneter Eintrag %2 ist nicht im Verzeichnis</translation>
    </message>
    <message>
        <source>&quot;%1&quot; lies below %2, which is not a container</source>
        <translation>„%1“ liegt unter %2, das kein Container ist</translation>
    </message>
</context>
<context>
    <name>LeftOutMessage</name>
    <message>
        <source>1 entry was left out of the tree because its name cannot be written as an NDS name</source>
        <translation>1 Eintrag wurde im Baum ausgelassen, weil sein Name nicht als NDS-Name geschrieben werden kann</translation>
    </message>
    <message>
        <source>%1 entries were left out of the tree because their names cannot be written as NDS names</source>
        <translation>%1 Einträge wurden im Baum ausgelassen, weil ihre Namen nicht als NDS-Namen geschrieben werden können</translation>
    </message>
    <message>
        <source> (a name that holds a backslash or a NUL, or is empty, leaves out its entry and the entries below it):
</source>
        <translation> (ein Name, der einen umgekehrten Schrägstrich oder ein NUL enthält oder leer ist, lässt seinen Eintrag und die Einträge darunter aus):
</translation>
    </message>
    <message>
        <source>
and %1 more</source>
        <translation>
und %1 weitere</translation>
    </message>
</context>
<context>
    <name>NdsMapping</name>
    <message>
        <source>malformed DN &quot;%1&quot;: %2</source>
        <translation>fehlerhafter DN „%1“: %2</translation>
    </message>
    <message>
        <source>empty DN</source>
        <translation>leerer DN</translation>
    </message>
</context>
<context>
    <name>PasswordStore</name>
    <message>
        <source>there is no D-Bus session</source>
        <translation>es gibt keine D-Bus-Sitzung</translation>
    </message>
    <message>
        <source>the keyring did not answer in time</source>
        <translation>der Schlüsselbund hat nicht rechtzeitig geantwortet</translation>
    </message>
</context>
<context>
    <name>ProcessStart</name>
    <message>
        <source>The path does not name a file on a server volume (\\SERVER\VOLUME\FOLDER\FILE).</source>
        <translation>Der Pfad nennt keine Datei auf einem Server-Volume (\\SERVER\VOLUME\ORDNER\DATEI).</translation>
    </message>
    <message>
        <source>The path holds &quot;%1&quot;, which cannot name a folder on a server volume.</source>
        <translation>Der Pfad enthält „%1“, was keinen Ordner auf einem Server-Volume bezeichnen kann.</translation>
    </message>
    <message>
        <source>STELVO_VOLUMES is not set, so the folder where the servers&apos; volumes are mounted is unknown.</source>
        <translation>STELVO_VOLUMES ist nicht gesetzt, daher ist der Ordner, in dem die Volumes der Server eingehängt sind, unbekannt.</translation>
    </message>
    <message>
        <source>The volumes folder %1 (STELVO_VOLUMES) does not exist.</source>
        <translation>Der Volume-Ordner %1 (STELVO_VOLUMES) existiert nicht.</translation>
    </message>
    <message>
        <source>The server %1 is not mounted in the volumes folder %2.</source>
        <translation>Der Server %1 ist im Volume-Ordner %2 nicht eingehängt.</translation>
    </message>
    <message>
        <source>The volume %1 of server %2 is not mounted in the volumes folder %3.</source>
        <translation>Das Volume %1 des Servers %2 ist im Volume-Ordner %3 nicht eingehängt.</translation>
    </message>
    <message>
        <source>No such folder: %1.</source>
        <translation>Ordner nicht gefunden: %1.</translation>
    </message>
    <message>
        <source>No such file.</source>
        <translation>Datei nicht gefunden.</translation>
    </message>
    <message>
        <source>The program cannot be run: %1.</source>
        <translation>Das Programm kann nicht ausgeführt werden: %1.</translation>
    </message>
    <message>
        <source>Cannot start a process: %1.</source>
        <translation>Ein Prozess kann nicht gestartet werden: %1.</translation>
    </message>
    <message>
        <source>Cannot start a process: the starting process ended unexpectedly.</source>
        <translation>Ein Prozess kann nicht gestartet werden: der startende Prozess wurde unerwartet beendet.</translation>
    </message>
    <message>
        <source>Cannot create a pipe: %1.</source>
        <translation>Eine Pipe kann nicht angelegt werden: %1.</translation>
    </message>
    <message>
        <source>This is a folder, not a program.</source>
        <translation>Dies ist ein Ordner, kein Programm.</translation>
    </message>
    <message>
        <source>This is a Windows program and Wine is not installed (no &quot;wine&quot; on PATH).</source>
        <translation>Dies ist ein Windows-Programm, und Wine ist nicht installiert (kein „wine“ im PATH).</translation>
    </message>
    <message>
        <source>The file is not executable.</source>
        <translation>Die Datei ist nicht ausführbar.</translation>
    </message>
    <message>
        <source>The command line names no program.</source>
        <translation>Die Befehlszeile nennt kein Programm.</translation>
    </message>
    <message>
        <source>Cannot start %1.</source>
        <translation>%1 kann nicht gestartet werden.</translation>
    </message>
    <message>
        <source>

Looked for: %1</source>
        <translation>

Gesucht als: %1</translation>
    </message>
</context>
<context>
    <name>RegularFile</name>
    <message>
        <source>a folder</source>
        <translation>ein Ordner</translation>
    </message>
    <message>
        <source>a named pipe (FIFO)</source>
        <translation>eine benannte Pipe (FIFO)</translation>
    </message>
    <message>
        <source>a character device</source>
        <translation>ein zeichenorientiertes Gerät</translation>
    </message>
    <message>
        <source>a block device</source>
        <translation>ein blockorientiertes Gerät</translation>
    </message>
    <message>
        <source>a socket</source>
        <translation>ein Socket</translation>
    </message>
    <message>
        <source>a special file</source>
        <translation>eine Spezialdatei</translation>
    </message>
    <message>
        <source>, not a regular file</source>
        <translation>, keine reguläre Datei</translation>
    </message>
    <message>
        <source>other users may read or change it (permissions %1); make it private to its owner with &quot;chmod 600 %2&quot;</source>
        <translation>andere Benutzer dürfen sie lesen oder ändern (Berechtigungen %1); machen Sie sie mit „chmod 600 %2“ nur für ihren Besitzer zugänglich</translation>
    </message>
    <message>
        <source>larger than %1 bytes</source>
        <translation>größer als %1 Byte</translation>
    </message>
</context>
<context>
    <name>SearchArguments</name>
    <message>
        <source>The directory holds no tree named &quot;%1&quot;.</source>
        <translation>Das Verzeichnis enthält keinen Baum namens „%1“.</translation>
    </message>
    <message>
        <source>Unknown search scope %1.</source>
        <translation>Unbekannter Suchbereich %1.</translation>
    </message>
    <message>
        <source>Unknown directory class: %1.</source>
        <translation>Unbekannte Verzeichnisklasse: %1.</translation>
    </message>
    <message>
        <source>The context &quot;%1&quot; is not an NDS name (NDS:\\TREE\...).</source>
        <translation>Der Kontext „%1“ ist kein NDS-Name (NDS:\\BAUM\...).</translation>
    </message>
    <message>
        <source>The context &quot;%1&quot; is not a valid NDS name.</source>
        <translation>Der Kontext „%1“ ist kein gültiger NDS-Name.</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>the DIRECTORY argument</source>
        <translation>das Argument DIRECTORY</translation>
    </message>
    <message>
        <source>%1 in %2</source>
        <translation>%1 in %2</translation>
    </message>
    <message>
        <source>URI and BASE in OpenLDAP&apos;s ldap.conf</source>
        <translation>URI und BASE in der ldap.conf von OpenLDAP</translation>
    </message>
    <message>
        <source>%1, %2 in stelvo.conf or %3</source>
        <translation>%1, %2 in stelvo.conf oder %3</translation>
    </message>
    <message>
        <source>the realm %1 of the Kerberos ticket in %2</source>
        <translation>dem Realm %1 des Kerberos-Tickets in %2</translation>
    </message>
    <message>
        <source>the default realm %1 of %2 (no Kerberos ticket)</source>
        <translation>dem Standard-Realm %1 von %2 (kein Kerberos-Ticket)</translation>
    </message>
</context>
<context>
    <name>SettingsCheck</name>
    <message>
        <source>%1 &quot;%2&quot; is not an NDS name of the form NDS:\\TREE\...</source>
        <translation>%1 „%2“ ist kein NDS-Name der Form NDS:\\BAUM\...</translation>
    </message>
    <message>
        <source>; in a configuration file every backslash is written twice: context=NDS:\\\\TREE\\ORG\\UNIT</source>
        <translation>; in einer Konfigurationsdatei wird jeder umgekehrte Schrägstrich doppelt geschrieben: context=NDS:\\\\BAUM\\ORG\\EINHEIT</translation>
    </message>
    <message>
        <source>%1 &quot;%2&quot; is not a server name.</source>
        <translation>%1 „%2“ ist kein Servername.</translation>
    </message>
    <message>
        <source>%1 &quot;%2&quot; is not a SASL mechanism name (such as EXTERNAL or GSSAPI)</source>
        <translation>%1 „%2“ ist kein Name eines SASL-Mechanismus (wie EXTERNAL oder GSSAPI)</translation>
    </message>
    <message>
        <source>%1 is set but %2 is not: give the DN to bind as</source>
        <translation>%1 ist gesetzt, %2 aber nicht: geben Sie den DN für die Anmeldung an</translation>
    </message>
    <message>
        <source>%1 and %2 cannot be used together: a SASL sign-on takes its identity from the mechanism (a Kerberos ticket, the socket&apos;s owner), not from a bind DN and password file</source>
        <translation>%1 und %2 können nicht zusammen verwendet werden: eine SASL-Anmeldung nimmt ihre Identität vom Mechanismus (einem Kerberos-Ticket, dem Besitzer des Sockets), nicht von einem DN und einer Kennwortdatei für die Anmeldung</translation>
    </message>
    <message>
        <source>%1 &quot;%2&quot; is not a usable LDAP URL</source>
        <translation>%1 „%2“ ist keine verwendbare LDAP-URL</translation>
    </message>
    <message>
        <source>%1 cannot be used with %2 &quot;%3&quot;: an ldaps:// connection is encrypted already</source>
        <translation>%1 kann nicht mit %2 „%3“ verwendet werden: eine ldaps://-Verbindung ist bereits verschlüsselt</translation>
    </message>
    <message>
        <source>%1 &quot;%2&quot; is not a list of directory class names separated by commas (such as Workstation,computer)</source>
        <translation>%1 „%2“ ist keine durch Kommas getrennte Liste von Namen von Verzeichnisklassen (wie Workstation,computer)</translation>
    </message>
    <message>
        <source>%1 &quot;%2&quot; is not a directory attribute name (such as dNSHostName)</source>
        <translation>%1 „%2“ ist kein Name eines Verzeichnisattributs (wie dNSHostName)</translation>
    </message>
    <message>
        <source>%1 &quot;%2&quot; is not a DNS domain name (such as example.com)</source>
        <translation>%1 „%2“ ist kein DNS-Domänenname (wie example.com)</translation>
    </message>
    <message>
        <source>%1 and %2 cannot be used together: the domain&apos;s controllers are the directory; name one or the other</source>
        <translation>%1 und %2 können nicht zusammen verwendet werden: die Controller der Domäne sind das Verzeichnis; nennen Sie das eine oder das andere</translation>
    </message>
    <message>
        <source>%1 &quot;%2&quot; is not a number of seconds from 0.1 to 600</source>
        <translation>%1 „%2“ ist keine Anzahl Sekunden von 0.1 bis 600</translation>
    </message>
    <message>
        <source>%1 &quot;%2&quot; is not a whole number of seconds from %3 to %4, or 0 for never</source>
        <translation>%1 &quot;%2&quot; ist keine ganze Zahl von Sekunden von %3 bis %4 und nicht 0 für nie</translation>
    </message>
</context>
<context>
    <name>SettingsLoader</name>
    <message>
        <source>%1 cannot be read: %2</source>
        <translation>%1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>keine reguläre Datei</translation>
    </message>
    <message>
        <source>%1 is not a configuration file: it must hold key=value lines and [section] lines only</source>
        <translation>%1 ist keine Konfigurationsdatei: sie darf nur Zeilen der Form key=value und [section] enthalten</translation>
    </message>
    <message>
        <source>%1 must be 1 or 0, not &quot;%2&quot;</source>
        <translation>%1 muss 1 oder 0 sein, nicht „%2“</translation>
    </message>
    <message>
        <source>%1 must be true or false, not &quot;%2&quot;</source>
        <translation>%1 muss true oder false sein, nicht „%2“</translation>
    </message>
    <message>
        <source>%1 in the [tools] section of %2 &quot;%3&quot;: %4</source>
        <translation>%1 im Abschnitt [tools] von %2 „%3“: %4</translation>
    </message>
</context>
<context>
    <name>ShellLink</name>
    <message>
        <source>The shortcut has no name.</source>
        <translation>Die Verknüpfung hat keinen Namen.</translation>
    </message>
    <message>
        <source>The shortcut&apos;s name, folder, target or arguments hold a control character.</source>
        <translation>Name, Ordner, Ziel oder Argumente der Verknüpfung enthalten ein Steuerzeichen.</translation>
    </message>
    <message>
        <source>The shortcut&apos;s name is too long for a file name.</source>
        <translation>Der Name der Verknüpfung ist für einen Dateinamen zu lang.</translation>
    </message>
    <message>
        <source>The shortcut has no target.</source>
        <translation>Die Verknüpfung hat kein Ziel.</translation>
    </message>
    <message>
        <source>The target %1 holds a quote character, which a command line cannot carry.</source>
        <translation>Das Ziel %1 enthält ein Anführungszeichen, das eine Befehlszeile nicht aufnehmen kann.</translation>
    </message>
    <message>
        <source>The launcher %1 is not installed: it was looked for beside this program, in %2 and on PATH.</source>
        <translation>Das Startprogramm %1 ist nicht installiert: es wurde neben diesem Programm, in %2 und im PATH gesucht.</translation>
    </message>
    <message>
        <source>The launcher&apos;s path or STELVO_VOLUMES holds a control character.</source>
        <translation>Der Pfad des Startprogramms oder STELVO_VOLUMES enthält ein Steuerzeichen.</translation>
    </message>
    <message>
        <source>Cannot create the folder %1.</source>
        <translation>Der Ordner %1 kann nicht angelegt werden.</translation>
    </message>
    <message>
        <source>Cannot write %1: %2.</source>
        <translation>%1 kann nicht geschrieben werden: %2.</translation>
    </message>
    <message>
        <source>The folder &quot;%1&quot; is outside the user&apos;s profile.</source>
        <translation>Der Ordner „%1“ liegt außerhalb des Benutzerprofils.</translation>
    </message>
</context>
<context>
    <name>ToolTemplate</name>
    <message>
        <source>the line holds a NUL, which no argument can carry</source>
        <translation>die Zeile enthält ein NUL-Zeichen, das kein Argument tragen kann</translation>
    </message>
    <message>
        <source>a quote is not closed</source>
        <translation>ein Anführungszeichen wird nicht geschlossen</translation>
    </message>
    <message>
        <source>no program is named</source>
        <translation>es ist kein Programm angegeben</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not one of {dotted}, {tree}, {function}, {short}, {host} (write {{ and }} for a brace itself)</source>
        <translation>„%1“ ist keiner von {dotted}, {tree}, {function}, {short}, {host} (für eine geschweifte Klammer selbst {{ bzw. }} schreiben)</translation>
    </message>
    <message>
        <source>a } stands alone (write }} for a brace itself)</source>
        <translation>eine } steht allein (für eine geschweifte Klammer selbst }} schreiben)</translation>
    </message>
    <message>
        <source>the program cannot be a placeholder: the directory would choose it</source>
        <translation>das Programm kann kein Platzhalter sein: sonst würde das Verzeichnis es wählen</translation>
    </message>
</context>
<context>
    <name>TreeBuilder</name>
    <message>
        <source>%1 is not a name in tree %2.</source>
        <translation>%1 ist kein Name im Baum %2.</translation>
    </message>
    <message>
        <source>%1 has an empty name component.</source>
        <translation>%1 hat einen leeren Namensbestandteil.</translation>
    </message>
    <message>
        <source>%1 does not end in its short name &quot;%2&quot;.</source>
        <translation>%1 endet nicht auf seinen Kurznamen „%2“.</translation>
    </message>
</context>
<context>
    <name>VersionInfo</name>
    <message>
        <source>Version %1.%2.%3</source>
        <translation>Version %1.%2.%3</translation>
    </message>
</context>
<context>
    <name>WorkstationCommands</name>
    <message>
        <source>The name %1 cannot be passed to %2: it holds a quote character or a control character, or ends in a backslash. Nothing was started or written.</source>
        <translation>Der Name %1 kann nicht an %2 übergeben werden: er enthält ein Anführungszeichen oder ein Steuerzeichen oder endet auf einen umgekehrten Schrägstrich. Es wurde nichts gestartet oder geschrieben.</translation>
    </message>
    <message>
        <source>the shortcut</source>
        <translation>die Verknüpfung</translation>
    </message>
    <message>
        <source>The shortcut %1 cannot be created.

%2</source>
        <translation>Die Verknüpfung %1 kann nicht erstellt werden.

%2</translation>
    </message>
    <message>
        <source>The workstation %1 has no host name in the directory: its attribute %2 is missing or empty. Nothing was started or written.</source>
        <translation>Die Arbeitsstation %1 hat im Verzeichnis keinen Hostnamen: ihr Attribut %2 fehlt oder ist leer. Es wurde nichts gestartet oder geschrieben.</translation>
    </message>
    <message>
        <source>The %1 of the workstation %2 cannot be passed to %3: it is empty, holds a NUL character, or begins with &quot;-&quot; where %3 would take it for an option. Nothing was started or written.</source>
        <translation>%1 der Arbeitsstation %2 kann nicht an %3 übergeben werden: der Wert ist leer, enthält ein NUL-Zeichen oder beginnt mit „-“, wo %3 ihn für eine Option halten würde. Es wurde nichts gestartet oder geschrieben.</translation>
    </message>
    <message>
        <source>%1 is no longer in the directory. Nothing was started or written.</source>
        <translation>%1 ist nicht mehr im Verzeichnis. Es wurde nichts gestartet oder geschrieben.</translation>
    </message>
</context>
<context>
    <name>stelvo::DirectoryControl</name>
    <message>
        <source>This directory cannot be searched again while the program runs.</source>
        <translation>Dieses Verzeichnis kann nicht erneut durchsucht werden, solange das Programm läuft.</translation>
    </message>
</context>
<context>
    <name>stelvo::FindResultsModel</name>
    <message>
        <source>No host name</source>
        <translation>Kein Hostname</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Dotted name</source>
        <translation>Punktierter Name</translation>
    </message>
    <message>
        <source>Host name</source>
        <translation>Hostname</translation>
    </message>
</context>
<context>
    <name>stelvo::FindWindow</name>
    <message>
        <source>Find Workstation</source>
        <translation>Arbeitsstation suchen</translation>
    </message>
    <message>
        <source>Finds workstations of the tree by name, dotted name or host name.</source>
        <translation>Sucht Arbeitsstationen des Baums nach Name, punktiertem Namen oder Hostname.</translation>
    </message>
    <message>
        <source>&amp;Find:</source>
        <translation>&amp;Suchen:</translation>
    </message>
    <message>
        <source>Part of a name, dotted name or host name</source>
        <translation>Teil eines Namens, punktierten Namens oder Hostnamens</translation>
    </message>
    <message>
        <source>Find workstation</source>
        <translation>Arbeitsstation suchen</translation>
    </message>
    <message>
        <source>Lists the workstations whose name, dotted name (such as WS0042.SALES.ACME) or host name contains the text typed, ignoring case. Up, Down, Page Up and Page Down move in the list; Enter selects the workstation in the tree; Escape closes the window.</source>
        <translation>Listet die Arbeitsstationen, deren Name, punktierter Name (etwa WS0042.SALES.ACME) oder Hostname den eingegebenen Text enthält, ohne Rücksicht auf Groß- und Kleinschreibung. Pfeil auf, Pfeil ab, Bild auf und Bild ab bewegen in der Liste; die Eingabetaste wählt die Arbeitsstation im Baum aus; Escape schließt das Fenster.</translation>
    </message>
    <message>
        <source>Matches</source>
        <translation>Treffer</translation>
    </message>
    <message>
        <source>Workstations found</source>
        <translation>Gefundene Arbeitsstationen</translation>
    </message>
    <message>
        <source>The workstations that match, with their dotted names and host names. Enter or a double-click selects the workstation in the tree.</source>
        <translation>Die passenden Arbeitsstationen mit ihren punktierten Namen und Hostnamen. Die Eingabetaste oder ein Doppelklick wählt die Arbeitsstation im Baum aus.</translation>
    </message>
    <message>
        <source>Type part of a name to find workstations.</source>
        <translation>Geben Sie einen Teil eines Namens ein, um Arbeitsstationen zu finden.</translation>
    </message>
    <message numerus="yes">
        <source>%n workstation(s) match</source>
        <translation>
            <numerusform>%n Arbeitsstation passt</numerusform>
            <numerusform>%n Arbeitsstationen passen</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>stelvo::SVsplash</name>
    <message>
        <source>Stelvo is starting</source>
        <translation>Stelvo wird gestartet</translation>
    </message>
    <message>
        <source>Shown while the directory is searched. Any key closes it.</source>
        <translation>Wird angezeigt, während das Verzeichnis durchsucht wird. Jede Taste schließt das Fenster.</translation>
    </message>
    <message>
        <source>Stelvo logo</source>
        <translation>Stelvo-Logo</translation>
    </message>
    <message>
        <source>Copyright © Stelvo Developers</source>
        <translation>Copyright © Stelvo-Entwickler</translation>
    </message>
    <message>
        <source>Stelvo Developers</source>
        <translation>Stelvo-Entwickler</translation>
    </message>
</context>
<context>
    <name>stelvo::TreeItemModel</name>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
</context>
<context>
    <name>stelvo::frmAbout</name>
    <message>
        <source>Stelvo logo</source>
        <translation>Stelvo-Logo</translation>
    </message>
    <message>
        <source>Written by the Stelvo Developers</source>
        <translation>Von den Stelvo-Entwicklern</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>&amp;System Info...</source>
        <translation>&amp;Systeminfo...</translation>
    </message>
    <message>
        <source>Starts the system information tool.</source>
        <translation>Startet das Systeminformationsprogramm.</translation>
    </message>
    <message>
        <source>  This is a fairly simple program to use.  After your NDS tree shows up in the window, drill down to your workstation objects and select one by left-clicking on it, then right click to bring up the workstation menu.  You will see all the options you would normally see in NWAdmin and one extra... The last entry on the menu will place a shortcut on your desktop that will remote control the selected workstation!  Without running NWAdmin or Stelvo first!</source>
        <translation>  Das Programm ist einfach zu bedienen.  Sobald Ihr NDS-Baum im Fenster erscheint, öffnen Sie die Container bis zu Ihren Arbeitsstationen, wählen eine mit der linken Maustaste aus und öffnen mit der rechten Maustaste das Arbeitsstationsmenü.  Es bietet alle Befehle, die Sie aus NWAdmin kennen, und einen weiteren... Der letzte Menüeintrag legt eine Verknüpfung auf Ihrem Desktop ab, die die ausgewählte Arbeitsstation fernsteuert!  Ohne NWAdmin oder Stelvo vorher zu starten!</translation>
    </message>
    <message>
        <source>About %1</source>
        <translation>Über %1</translation>
    </message>
    <message>
        <source>System Information Is Unavailable At This Time</source>
        <translation>Die Systeminformationen sind zurzeit nicht verfügbar</translation>
    </message>
    <message>
        <source>Directory server in use: %1</source>
        <translation>Verwendeter Verzeichnisserver: %1</translation>
    </message>
</context>
<context>
    <name>stelvo::svWStation</name>
    <message>
        <source>Directory tree</source>
        <translation>Verzeichnisbaum</translation>
    </message>
    <message>
        <source>The containers and workstations of the directory. Select a workstation, then open its commands with the Menu key or Shift+F10.</source>
        <translation>Die Container und Arbeitsstationen des Verzeichnisses. Wählen Sie eine Arbeitsstation aus und öffnen Sie dann ihre Befehle mit der Menütaste oder Umschalt+F10.</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>Ü&amp;ber</translation>
    </message>
    <message>
        <source>Workstation commands</source>
        <translation>Arbeitsstationsbefehle</translation>
    </message>
    <message>
        <source>&amp;Remote Control</source>
        <translation>&amp;Fernsteuerung</translation>
    </message>
    <message>
        <source>Remote &amp;View</source>
        <translation>Fernan&amp;sicht</translation>
    </message>
    <message>
        <source>&amp;Ping Management Software</source>
        <translation>Verwaltungssoftware an&amp;pingen</translation>
    </message>
    <message>
        <source>C&amp;hat</source>
        <translation>&amp;Chat</translation>
    </message>
    <message>
        <source>&amp;File Transfer</source>
        <translation>&amp;Dateiübertragung</translation>
    </message>
    <message>
        <source>Remote &amp;Execute</source>
        <translation>Fern&amp;ausführung</translation>
    </message>
    <message>
        <source>Di&amp;agnostics</source>
        <translation>D&amp;iagnose</translation>
    </message>
    <message>
        <source>&amp;Create Control Shorcut</source>
        <translation>&amp;Verknüpfung zur Fernsteuerung erstellen</translation>
    </message>
    <message>
        <source>Searching...</source>
        <translation>Suche läuft...</translation>
    </message>
    <message>
        <source>No workstations found in Tree</source>
        <translation>Keine Arbeitsstationen im Baum gefunden</translation>
    </message>
    <message>
        <source>Ready (%1)</source>
        <translation>Bereit (%1)</translation>
    </message>
    <message>
        <source>You are about to exit Stelvo.</source>
        <translation>Sie sind dabei, Stelvo zu beenden.</translation>
    </message>
    <message>
        <source>Quit Stelvo?</source>
        <translation>Stelvo beenden?</translation>
    </message>
    <message>
        <source>Find Workstation...</source>
        <translation>Arbeitsstation suchen...</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message numerus="yes">
        <source>... and %n more.</source>
        <translation>
            <numerusform>... und %n weitere.</numerusform>
            <numerusform>... und %n weitere.</numerusform>
        </translation>
    </message>
    <message>
        <source>Some changes in the directory could not be shown in the tree:

%1</source>
        <translation>Einige Änderungen im Verzeichnis konnten nicht im Baum angezeigt werden:

%1</translation>
    </message>
    <message>
        <source>The directory could not be read again; the tree stays as it was.

%1</source>
        <translation>Das Verzeichnis konnte nicht erneut gelesen werden; der Baum bleibt, wie er war.

%1</translation>
    </message>
    <message>
        <source>Not up to date since %1.</source>
        <translation>Nicht aktuell seit %1.</translation>
    </message>
    <message>
        <source>Not up to date since %1: %2</source>
        <translation>Nicht aktuell seit %1: %2</translation>
    </message>
    <message>
        <source>Ready (%1). Changes in the directory are not followed: %2</source>
        <translation>Bereit (%1). Änderungen im Verzeichnis werden nicht verfolgt: %2</translation>
    </message>
</context>
</TS>
