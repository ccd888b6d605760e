// The Debian packages that `cpack -G DEB` made in the build directory,
// unpacked without installing them: they hold what an administrator and a
// developer of a host need, and veldir runs its demo from the unpacked tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "child_process.h"
#include "support/log_file.h"

namespace fs = std::filesystem;

namespace {

const fs::path kLibDir = EXAMPLE_LIBDIR;
const fs::path kDriverDir = EXAMPLE_DRIVERDIR;

fs::path package_file(const std::string &name) {
    for (const fs::directory_entry &entry : fs::directory_iterator(VELDLDAP_BINARY_DIR)) {
        const std::string file = entry.path().filename();
        if (file.starts_with(name + "_") && file.ends_with(".deb")) return entry.path();
    }
    return {};
}

fs::path unpack(const std::string &name, const fs::path &root) {
    const fs::path file = package_file(name);
    EXPECT_FALSE(file.empty()) << "no " << name << " package in " VELDLDAP_BINARY_DIR ": run cpack -G DEB there";
    const veldldap::ProgramResult unpacked = veldldap::run_program({"dpkg-deb", "-x", file, root});
    EXPECT_TRUE(unpacked.ok()) << unpacked.summary();
    return root;
}

}  // namespace

TEST(DebianPackage, HoldsWhatEachKindOfUserNeeds) {
    const fs::path runtime = unpack("veldldap", fs::absolute("runtime"));
    const fs::path devel = unpack("veldldap-dev", fs::absolute("devel"));
    const struct {
        fs::path root;
        fs::path file;
    } expected[] = {
        {runtime, "usr" / kDriverDir / "libveldldap64.so.15.5.0"},
        {runtime, "usr/bin/veldir"},
        {runtime, "usr/bin/velenc"},
        {runtime, "usr/share/veldldap/schema/velmor.schema"},
        {runtime, "usr/share/veldldap/schema/velmor-389ds.ldif"},
        {runtime, "usr/share/man/man1/veldir.1.gz"},
        {runtime, "usr/share/man/man1/velenc.1.gz"},
        {runtime, "usr/share/doc/veldldap/copyright"},
        {devel, "usr/include/veldldap/dspublic.h"},
        {devel, "usr/include/veldldap/failure_codes.h"},
        {devel, "usr" / kLibDir / "pkgconfig/veldldap.pc"},
        {devel, "usr" / kLibDir / "cmake/veldldap/veldldap-config.cmake"},
        {devel, "usr/share/doc/veldldap-dev/copyright"},
    };
    for (const auto &[root, file] : expected) EXPECT_TRUE(fs::exists(root / file)) << file;
    EXPECT_FALSE(fs::exists(devel / "usr/include/veldldap/stored_password.h"));
    std::ifstream pkg_config(devel / "usr" / kLibDir / "pkgconfig/veldldap.pc");
    EXPECT_NE(std::string(std::istreambuf_iterator<char>(pkg_config), {}).find("\nprefix=/usr\n"), std::string::npos);
}

TEST(DebianPackage, VeldirRunsTheDemoFromTheUnpackedPackage) {
    const fs::path root = unpack("veldldap", fs::absolute("root"));
    // The lib3p64 link is relative and names the soname link of the client
    // library the package depends on; here the system's copy stands in for it.
    const fs::path link = root / "usr" / kDriverDir / "lib3p64/libvelmorldap64.so.15.5.0";
    const fs::path target = fs::read_symlink(link);
    ASSERT_TRUE(target.is_relative()) << target;
    const fs::path in_root = (link.parent_path() / target).lexically_normal();
    const fs::path on_system = "/" / in_root.lexically_relative(root);
    ASSERT_TRUE(fs::exists(on_system)) << on_system;
    fs::create_directories(in_root.parent_path());
    fs::create_symlink(on_system, in_root);

    const veldldap::ProgramResult demo =
        veldldap::run_program({(root / "usr/bin/veldir").string(), "--log-dir", fs::current_path().string(), "demo"});
    EXPECT_EQ(demo.exit_code, 0) << demo.summary() << demo.out;
    EXPECT_NE(demo.out.find("The whole lifecycle worked."), std::string::npos) << demo.out;
    // veldir took the packaged driver, and the driver its packaged link.
    EXPECT_NE(demo.out.find("load driver ok"), std::string::npos);
    EXPECT_NE(demo.out.find((root / "usr" / kDriverDir / "libveldldap64.so.15.5.0").string()), std::string::npos);
    EXPECT_NE(log_text().find("Trying to load " + link.string()), std::string::npos);
}
