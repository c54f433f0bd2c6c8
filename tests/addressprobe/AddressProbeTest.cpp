// The address-in-use probe in a private namespace pair (run-probe-test.sh builds it): a peer
// address that answers, one that exists but drops all ICMP, and one that nobody has; with
// unprivileged ICMP sockets allowed and without.

#include "AddressProbe.h"
#include "NetnsGuard.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

namespace {

using M = TAddressProbe::TMethod;

// The probe as a user's program runs it: in a child that has left root (uid and gid 65534, no
// supplementary groups, hence no capabilities). Fails the test when the child cannot report.
TAddressProbe ProbeAsUser(const QString& address, int timeLimitMs = kAddressProbeTimeLimitMs)
{
    TAddressProbe result;
    int fds[2];
    if (pipe(fds) != 0) {
        ADD_FAILURE() << "pipe";
        return result;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const gid_t nobody = 65534;
        if (setgroups(0, nullptr) != 0 || setresgid(nobody, nobody, nobody) != 0 ||
            setresuid(nobody, nobody, nobody) != 0 || geteuid() == 0)
            _exit(3);
        const TAddressProbe p = ProbeAddress(address, timeLimitMs);
        const int out[4] = {p.Valid, p.InUse, int(p.Method), p.IcmpAllowed};
        _exit(write(fds[1], out, sizeof out) == ssize_t(sizeof out) ? 0 : 4);
    }
    close(fds[1]);
    int in[4] = {};
    const ssize_t n = read(fds[0], in, sizeof in);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (n != ssize_t(sizeof in) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << "the unprivileged probe did not report (status " << status << ")";
        return result;
    }
    result.Valid = in[0];
    result.InUse = in[1];
    result.Method = M(in[2]);
    result.IcmpAllowed = in[3];
    return result;
}

QString Env(const char* name) { return qEnvironmentVariable(name); }

class AddressProbeLan : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (Env("PROBE_PRESENT").isEmpty())
            GTEST_SKIP() << "runs inside run-probe-test.sh only";
        icmp = Env("PROBE_ICMP") == QLatin1String("1");
    }
    bool icmp = false;
};

TEST_F(AddressProbeLan, IcmpSocketFollowsThePingGroupRange)
{
    EXPECT_EQ(ProbeAsUser(Env("PROBE_PRESENT")).IcmpAllowed, icmp);
}

TEST_F(AddressProbeLan, ADeviceThatAnswersIsInUse)
{
    const TAddressProbe p = ProbeAsUser(Env("PROBE_PRESENT"));
    EXPECT_TRUE(p.Valid);
    EXPECT_TRUE(p.InUse);
    if (icmp)
        EXPECT_EQ(int(p.Method), int(M::IcmpEcho));
    else
        EXPECT_NE(int(p.Method), int(M::IcmpEcho));
}

TEST_F(AddressProbeLan, ADeviceThatDropsIcmpIsSeenByItsNeighbourEntry)
{
    const TAddressProbe p = ProbeAsUser(Env("PROBE_SILENT"));
    EXPECT_TRUE(p.InUse);
    EXPECT_EQ(int(p.Method), int(M::Neighbour));
}

TEST_F(AddressProbeLan, NobodyAtTheAddressIsFreeAfterTheTimeLimit)
{
    QElapsedTimer t;
    t.start();
    const TAddressProbe p = ProbeAsUser(Env("PROBE_ABSENT"));
    EXPECT_TRUE(p.Valid);
    EXPECT_FALSE(p.InUse);
    EXPECT_EQ(int(p.Method), int(M::None));
    EXPECT_GE(t.elapsed(), kAddressProbeTimeLimitMs - 20);
}

TEST_F(AddressProbeLan, OffTheLinkOnlyAnAnswerCounts)
{
    // Routed through the peer, which forwards nothing: no neighbour entry is that address's.
    EXPECT_FALSE(ProbeAsUser(Env("PROBE_OFFLINK"), 400).InUse);
}

TEST_F(AddressProbeLan, OwnLoopbackAnswers)
{
    const TAddressProbe p = ProbeAsUser(QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(p.InUse);
    EXPECT_EQ(int(p.Method), int(icmp ? M::IcmpEcho : M::Refused));
}

TEST(AddressProbe, NoUnicastAddressIsNotProbed)
{
    for (const char* a : {"", "999.1.1.1", "10.0.0", "10.0.0.1.2", "host.example", "0.0.0.0",
                          "255.255.255.255", "224.0.0.1", "239.255.255.250", "240.0.0.1"}) {
        const TAddressProbe p = ProbeAddress(QString::fromLatin1(a));
        EXPECT_FALSE(p.Valid) << a;
        EXPECT_FALSE(p.InUse) << a;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    netns_guard::RequirePrivateNetworkNamespace(argv[0]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
