// vexa-cli's Programming commands against vexa-sim started as a program (its demo bus plus
// Modbus servo 9 of model 9.12) and against the update server on 127.0.0.1: parameter files saved
// byte-exact, loaded into other servos and surviving a power cycle, refused files, online
// loading.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/sim_child.h"
#include "tests/support/test_folder.h"
#include "tools/cli/cli_runner.h"
#include "tools/server/update_server.h"

namespace {

class ProgrammingE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        const SimChild child = SpawnSim({"--demo", "--setup-dir", setup_dir_, "--modbus",
                                         "9:fw=2.10,model=9.12", "--exit-on-eof"});
        ASSERT_NE(child.pid, -1);
        pid_ = child.pid;
        in_ = child.in;
        out_ = child.out;
        port_ = Line();
        ASSERT_FALSE(port_.empty());
    }
    void TearDown() override {
        close(in_);  // --exit-on-eof
        int status = 0;
        waitpid(pid_, &status, 0);
        if (out_) std::fclose(out_);
        server_.Stop();
        unsetenv("VEXA_UPDATE_SERVER");
    }
    std::string Line() { return ReadSimLine(out_); }
    // A command on the simulator's standard input; its answer.
    std::string Sim(const std::string& command) {
        const std::string line = command + "\n";
        EXPECT_EQ(write(in_, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        return Line();
    }
    int Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", port_, "--setup-dir", setup_dir_});
        std::ostringstream out, err;
        const int rc = RunCli(args, out, err);
        out_text = out.str();
        err_text = err.str();
        return rc;
    }
    // The value column of the row named name, from "table ID".
    std::string Value(int id, const std::string& name) {
        EXPECT_EQ(Cli({"table", std::to_string(id)}), 0) << err_text;
        std::istringstream lines(out_text);
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> f;
            std::istringstream cells(line);
            for (std::string c; std::getline(cells, c, '\t');) f.push_back(c);
            if (f.size() == 5 && f[1] == name) return f[2];
        }
        return "(none)";
    }
    std::string File(const std::string& name) { return work_.path() + "/" + name; }
    void StartServer() {
        ASSERT_TRUE(server_.Start("127.0.0.1", 0));
        setenv("VEXA_UPDATE_SERVER", ("127.0.0.1:" + std::to_string(server_.port())).c_str(), 1);
    }

    std::string setup_dir_ = std::string(VEXA_RESOURCE_DIR) + "/setup";
    pid_t pid_ = -1;
    int in_ = -1;
    FILE* out_ = nullptr;
    std::string port_;
    std::string out_text, err_text;
    TestFolder work_, root_;
    UpdateServer server_{root_.path()};
};

}  // namespace

TEST_F(ProgrammingE2E, TableAndSetPrintTheirContract) {
    ASSERT_EQ(Cli({"table", "1"}), 0);
    EXPECT_EQ(out_text.substr(0, 26), "0\tFirmware major\t3\tEPROM\tr");
    EXPECT_NE(out_text.find("\n31\tPosition offset\t0\tEPROM\trw\n"), std::string::npos);
    EXPECT_EQ(out_text.substr(out_text.size() - 15), "status: Normal\n");
    EXPECT_EQ(Sim("error 1 5"), "ok");
    ASSERT_EQ(Cli({"table", "1"}), 0);
    EXPECT_EQ(out_text.substr(out_text.size() - 29), "status: Voltage\nstatus: Heat\n");

    EXPECT_EQ(Cli({"set", "1", "Position offset", "-100"}), 0);
    EXPECT_EQ(out_text, "Parameters saved successfully\n");
    EXPECT_EQ(Value(1, "Position offset"), "-100");
    EXPECT_EQ(Cli({"set", "1", "Position offset", "3000"}), 1);
    EXPECT_EQ(err_text, "Position offset Cannot be greater than 2047\n");
    EXPECT_EQ(Cli({"set", "1", "Factory zero", "5"}), 1);
    EXPECT_EQ(err_text, "Factory zero cannot be edited\n");
    EXPECT_EQ(Cli({"set", "1", "Factory zero", "2000", "--hidden"}), 0);
    EXPECT_EQ(Cli({"set", "1", "Nothing", "5"}), 1);
    EXPECT_EQ(err_text, "no entry Nothing\n");
    EXPECT_EQ(Cli({"set", "1", "ID", "2"}), 1);  // servo 2 answers that id
    EXPECT_EQ(err_text, "The current ID servo already exists in the bus\n");
    EXPECT_EQ(Cli({"table", "42"}), 1);
    EXPECT_EQ(err_text, "no device at ID 42\n");
    EXPECT_EQ(Cli({"table"}), 2);
}

TEST_F(ProgrammingE2E, EachFormatSavedByteExactLoadsIntoAnotherServoAndSurvivesPower) {
    // ".xdat" from servo 1 (VX40): EPROM 0..39, DEFAULT 80..84, no EPROM1.
    ASSERT_EQ(Cli({"set", "1", "Max temperature", "88"}), 0);
    ASSERT_EQ(Cli({"params", "save", "1", File("a.xdat")}), 0);
    EXPECT_EQ(out_text + err_text, "");
    ASSERT_EQ(Cli({"read", "1", "0", "40"}), 0);
    const std::string eprom = out_text;
    const std::string x = Slurp(File("a.xdat"));
    ASSERT_EQ(x.size(), 2u + 40 + 2 + 5);
    EXPECT_EQ(x.substr(0, 2), std::string("\x00\x28", 2));
    std::string hex;
    char b[4];
    for (int k = 2; k < 42; ++k) {
        std::snprintf(b, sizeof b, "%02X", static_cast<uint8_t>(x[k]));
        hex += (k > 2 ? " " : "") + std::string(b);
    }
    EXPECT_EQ(hex + "\n", eprom);
    EXPECT_EQ(x.substr(42, 2), "\x50\x05");

    ASSERT_EQ(Cli({"params", "load", "2", File("a.xdat")}), 0) << err_text;
    EXPECT_EQ(out_text, "Parameters loaded successfully\n");
    EXPECT_EQ(Sim("power 2"), "ok");
    EXPECT_EQ(Value(2, "Max temperature"), "88");
    EXPECT_EQ(Value(2, "ID"), "2");

    // ".mdat" from Modbus servo 6 into 7.
    ASSERT_EQ(Cli({"set", "6", "Max temperature", "77"}), 0);
    ASSERT_EQ(Cli({"params", "save", "6", File("m.mdat")}), 0);
    const std::string m = Slurp(File("m.mdat"));
    EXPECT_EQ(m.substr(0, 8), std::string("\x00\x00\x04\x00\xD2\x00\x25\x03", 8));
    ASSERT_EQ(Cli({"params", "load", "7", File("m.mdat")}), 0) << err_text;
    EXPECT_EQ(Sim("power 7"), "ok");
    EXPECT_EQ(Value(7, "Max temperature"), "77");
    EXPECT_EQ(Value(7, "ID"), "7");

    // ".dat" of the pulse-width servo 5: a change is undone by loading it back.
    ASSERT_EQ(Cli({"params", "save", "5", File("p.dat")}), 0);
    EXPECT_EQ(Slurp(File("p.dat")).size(), 14u);
    ASSERT_EQ(Cli({"set", "5", "Dead band", "9"}), 0);
    ASSERT_EQ(Cli({"params", "load", "5", File("p.dat")}), 0) << err_text;
    EXPECT_EQ(Sim("power 5"), "ok");
    EXPECT_EQ(Value(5, "Dead band"), "2");

    // An unknown extension saves an empty file.
    ASSERT_EQ(Cli({"params", "save", "1", File("a.txt")}), 0);
    EXPECT_EQ(Slurp(File("a.txt")), "");
}

TEST_F(ProgrammingE2E, RefusedFilesWriteNothing) {
    ASSERT_EQ(Cli({"params", "save", "1", File("a.xdat")}), 0);
    const std::string x = Slurp(File("a.xdat"));
    auto put = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(File(name), std::ios::binary) << bytes;
    };
    ASSERT_EQ(Cli({"set", "2", "Max temperature", "66"}), 0);

    // Another model (servo 3 is a VX62): refused before any write.
    EXPECT_EQ(Cli({"params", "load", "3", File("a.xdat")}), 1);
    EXPECT_EQ(err_text,
              "The parameter does not fit this servo. Please replace the parameter file\n");
    // Truncated in its DEFAULT block, or with an EPROM1 block past the end, or overlong.
    put("cut.xdat", x.substr(0, x.size() - 1));
    put("eprom1.xdat", x + std::string("\x5A\x09\x01", 3));
    put("long.xdat", x + std::string(508 - x.size() + 1, '\0'));
    for (const char* name : {"cut.xdat", "eprom1.xdat", "long.xdat"}) {
        EXPECT_EQ(Cli({"params", "load", "2", File(name)}), 1) << name;
        EXPECT_EQ(err_text, "Parameter loading failed\n");
    }
    put("tiny.dat", "abc");
    EXPECT_EQ(Cli({"params", "load", "5", File("tiny.dat")}), 1);
    EXPECT_EQ(Value(2, "Max temperature"), "66");
    EXPECT_EQ(Value(3, "Max temperature"), "80");

    // Exactly 508 bytes (zeros after the blocks) loads.
    put("full.xdat", x + std::string(508 - x.size(), '\0'));
    EXPECT_EQ(Cli({"params", "load", "2", File("full.xdat")}), 0) << err_text;
    EXPECT_EQ(Value(2, "Max temperature"), "70");
}

TEST_F(ProgrammingE2E, OnlineLoadingAsksTheServerForTheModel) {
    ASSERT_EQ(Cli({"set", "6", "Max temperature", "91"}), 0);
    ASSERT_EQ(Cli({"params", "save", "6", File("m.mdat")}), 0);
    root_.Put("params/s9.12/servo.mdat", Slurp(File("m.mdat")));
    root_.Put("params/s4.0/abc.bin", "whatever");

    EXPECT_EQ(Cli({"params", "online", "9"}), 1);  // nobody listens yet
    EXPECT_EQ(err_text, "Server no returned!\n");
    StartServer();
    ASSERT_EQ(Cli({"params", "online", "9"}), 0) << err_text;
    EXPECT_EQ(out_text, "Parameters loaded successfully\n");
    EXPECT_EQ(Value(9, "Max temperature"), "91");
    EXPECT_EQ(Value(9, "ID"), "9");
    EXPECT_EQ(Cli({"params", "online", "1"}), 1);  // abc.bin: no format, no message
    EXPECT_EQ(out_text + err_text, "");
    EXPECT_EQ(Cli({"params", "online", "3"}), 1);  // nothing stored for s6.2
    EXPECT_EQ(err_text, "Parameter loading failed!\n");
}

TEST_F(ProgrammingE2E, RecoveryAndBackup) {
    ASSERT_EQ(Cli({"set", "1", "Max temperature", "55"}), 0);
    EXPECT_EQ(Cli({"params", "recovery", "1"}), 0);
    EXPECT_EQ(out_text, "Parameters recovered successfully\n");
    EXPECT_EQ(Value(1, "Max temperature"), "70");
    EXPECT_EQ(Cli({"params", "backup", "6"}), 0);
    EXPECT_EQ(out_text, "Parameter backup successful\n");
    EXPECT_EQ(Cli({"params", "recovery", "5"}), 1);  // pulse-width servos have neither
    EXPECT_EQ(out_text + err_text, "");
}
