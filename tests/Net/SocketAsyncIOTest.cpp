#include "SocketSupport.h"
#include "VornSocketAsyncIO.h"

using namespace vorntest;

namespace {

class SocketAsyncIOTest : public NetSuite {
protected:
    void SetUp() override { VornSocketAsyncIO::Initialize(); }
    void TearDown() override { VornSocketAsyncIO::Finalize(); }
    static int32_t Finish()
    {
        WaitFor([] { return VornSocketAsyncIO::Poll(); });
        return VornSocketAsyncIO::GetStatus();
    }
};

TEST_F(SocketAsyncIOTest, OperationsReportStatusAndLength)
{
    // The peer takes 10 bytes, answers them and closes.
    TestServer server([](SOCKET s) {
        char ten[10];
        if (Whole(s, ten, 10, false)) Whole(s, ten, 10, true);
    });
    ASSERT_TRUE(VornSocketAsyncIO::Create());
    ASSERT_TRUE(VornSocketAsyncIO::Connect("127.0.0.1", server.Port()));
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(VornSocketAsyncIO::Poll());
    EXPECT_LT(GetTickCount64() - start, 50u);

    char out[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}, in[100] = {};
    ASSERT_EQ(0, VornSocketAsyncIO::Send(out, 10));
    EXPECT_EQ(-3, VornSocketAsyncIO::GetStatus());
    EXPECT_EQ(-3, VornSocketAsyncIO::Recv(in, sizeof in));
    EXPECT_EQ(0, Finish());
    ASSERT_EQ(0, VornSocketAsyncIO::Recv(in, sizeof in));
    EXPECT_EQ(0, Finish());
    EXPECT_EQ(10u, VornSocketAsyncIO::GetTransferred());
    EXPECT_EQ(0, memcmp(out, in, 10));
    ASSERT_EQ(0, VornSocketAsyncIO::Recv(in, sizeof in));
    EXPECT_EQ(-2, Finish());
}

TEST_F(SocketAsyncIOTest, CloseWithAReceivePendingEndsItAndFreesTheBuffer)
{
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    TestServer server([release](SOCKET) { WaitForSingleObject(release, 20000); });
    ASSERT_TRUE(VornSocketAsyncIO::Create());
    ASSERT_TRUE(VornSocketAsyncIO::Connect("127.0.0.1", server.Port()));
    std::string buffer(64, 'k');
    ASSERT_EQ(0, VornSocketAsyncIO::Recv(&buffer[0], 64));
    VornSocketAsyncIO::Close();
    EXPECT_EQ(-1, VornSocketAsyncIO::GetStatus());
    EXPECT_TRUE(VornSocketAsyncIO::Poll());
    SetEvent(release);
}

}  // namespace
