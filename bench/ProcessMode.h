// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>

namespace stelvo::bench {

// Where the process mode's directory comes from.
enum class ProcessSource
{
    Ldif, // a generated LDIF file; the reference reads the file (cat)
    // The same, its workstations carrying host names, addresses, operating
    // systems and descriptions, as real exports do.
    LdifAttributes,
    Ldap, // a throwaway slapd loaded with it; the reference is ldapsearch
};

// Times the built program as an administrator meets it: started as a
// process on one virtual X server, from just before it starts until its
// main window is mapped, with its resident memory at that moment and its
// peak once it is idle; beside the reference, in interleaved runs, for an
// empty directory first and then for each size. Prints medians; each run's
// figures go to the standard error. Blocks. False, with the reason on the
// standard error, when a run fails (the program does not show its main
// window within two minutes, or ends before it).
bool runProcessSizes(ProcessSource source, const QList<int>& sizes, int runs);

// The same start-up, on a member of a throwaway Active Directory domain
// whose controller (Samba) is also its name server, for the domain's 2,100
// computers in nested units: started with nothing naming a directory, so
// that it finds the domain through the user's Kerberos ticket and the SRV
// records, and with the controller's URL and GSSAPI, in interleaved runs
// (`runs` of each). Prints both medians, their difference and the median of
// each pair's difference. Needs root (see SambaAdServer, DomainClient).
bool runProcessDiscovery(int runs);

} // namespace stelvo::bench
