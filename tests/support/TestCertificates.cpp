#include "tests/support/TestCertificates.h"

#include "tests/support/TempDir.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace quenloft::testing {
namespace {

void Run(const std::string& Command)
{
  if (std::system((Command + " >/dev/null 2>&1").c_str()) != 0)
    throw std::runtime_error("certificate generation failed: " + Command);
}

void MakeCA(const std::string& Dir, const std::string& Name, const std::string& Subject)
{
  Run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 3"
      " -keyout '" +
      Dir + Name + ".key' -out '" + Dir + Name + ".pem' -subj '/CN=" + Subject +
      "'"
      " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign");
}

void MakeLeaf(const std::string& Dir, const std::string& Name, const std::string& SubjectAltName)
{
  TempDir scratch;
  const std::string ext =
      scratch.WriteFile("ext.cnf", "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                                   "extendedKeyUsage=serverAuth\nsubjectAltName=" +
                                       SubjectAltName + "\n");
  Run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=server"
      " -keyout '" +
      Dir + Name + ".key' -out '" + Dir + Name + ".csr'");
  Run("openssl x509 -req -days 3 -in '" + Dir + Name + ".csr' -CA '" + Dir + "ca.pem' -CAkey '" + Dir +
      "ca.key' -CAcreateserial -out '" + Dir + Name + ".pem' -extfile '" + ext + "'");
}

} // namespace

const TestCertificates& GetTestCertificates()
{
  static std::unique_ptr<TempDir> folder;
  static std::unique_ptr<TestCertificates> certificates;
  if (!certificates) {
    folder = std::make_unique<TempDir>();
    const std::string dir = folder->Folder();
    MakeCA(dir, "ca", "Quenloft Test CA");
    MakeCA(dir, "other-ca", "Unrelated Test CA");
    MakeLeaf(dir, "server", "DNS:localhost,IP:127.0.0.1");
    MakeLeaf(dir, "wrong-host", "DNS:wrong.example");
    certificates = std::make_unique<TestCertificates>(
        TestCertificates{dir + "ca.pem", dir + "server.pem", dir + "server.key", dir + "other-ca.pem",
                         dir + "wrong-host.pem", dir + "wrong-host.key"});
  }
  return *certificates;
}

} // namespace quenloft::testing
