#include "cadastral/ref_object.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "cadastral/file_info_data.h"

using namespace cadastral;

namespace {

struct Probe : TRefObject {
  explicit Probe(int* log) : log(log) {}
  ~Probe() override { *log += 100; }
  void Dispose() override { *log += 1; }
  int* log;
};

struct FailingProbe : Probe {
  using Probe::Probe;
  void Dispose() override { throw std::runtime_error("dispose failed"); }
};

struct KvzuValues : TKvzuFileInfoData {
  void ReadValues(xml::TXMLSequentialParser&) override {}
};

// Collects assertion reports instead of raising them.
struct AssertRecorder {
  AssertRecorder() {
    old = SetAssertHook([this](const std::string& m) { messages.push_back(m); });
  }
  ~AssertRecorder() { SetAssertHook(old); }
  std::vector<std::string> messages;
  TAssertHook old;
};

}  // namespace

TEST(RefObject, LivesWhileAnyHolderKeepsIt) {
  int log = 0;
  Probe* first = nullptr;
  RefAssign(first, new Probe(&log));
  Probe* second = nullptr;
  RefAssign(second, first);
  EXPECT_EQ(first->RefCount(), 2);
  RefRelease(first);
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(log, 0);
  EXPECT_EQ(second->RefCount(), 1);
  RefRelease(second);
  EXPECT_EQ(log, 100);
  Probe* empty = nullptr;
  RefRelease(empty);  // nothing happens
  RefDispose(empty);
}

TEST(RefObject, DisposeRunsTheHookOnceBeforeFreeing) {
  int log = 0;
  Probe* p = nullptr;
  RefAssign(p, new Probe(&log));
  Probe* other = nullptr;
  RefAssign(other, p);
  RefDispose(p);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(log, 1);  // hook ran, object still held by the other place
  RefRelease(other);
  EXPECT_EQ(log, 101);

  log = 0;
  Probe* failing = nullptr;
  RefAssign(failing, static_cast<Probe*>(new FailingProbe(&log)));
  EXPECT_THROW(RefDispose(failing), std::runtime_error);
  EXPECT_EQ(failing, nullptr);
  EXPECT_EQ(log, 100);  // freed, not leaked
}

TEST(RefObject, DescribeHandsNameAndCount) {
  auto values = TRef<KvzuValues>::Create();
  std::vector<std::string> got;
  for (int selector : {0, 1, 2}) values->Describe(selector, [&](const std::string& s) { got.push_back(s); });
  EXPECT_EQ(got, (std::vector<std::string>{"RefCount", "1"}));
}

TEST(RefObject, ReleasingAnUnreferencedObjectIsReportedWithItsClassName) {
  int log = 0;
  auto owner = std::make_unique<Probe>(&log);
  Probe* place = owner.get();
  try {
    RefRelease(place);  // count 0: nobody holds a reference
    FAIL() << "no report";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(std::string(e.what()), "Объект не инициализирован, имя класса \"(anonymous namespace)::Probe\"");
  }
  EXPECT_EQ(place, nullptr);
  EXPECT_EQ(owner->RefCount(), 0);

  AssertRecorder recorder;
  CheckRefCount(0, owner.get());
  CheckRefCount(-3, nullptr);
  CheckRefCount(1, owner.get());
  ASSERT_EQ(recorder.messages.size(), 2u);
  EXPECT_EQ(recorder.messages[1], "Объект не инициализирован, имя класса \"Не известно\"");
}

TEST(RefObject, FreshValuesRecordsAreEmpty) {
  auto kvzu = TRef<KvzuValues>::Create();
  for (const std::string* field : {&kvzu->CadastralNumber, &kvzu->CertificationDocNumber, &kvzu->CertificationDocDate,
                                   &kvzu->CoordSystemName, &kvzu->DateCreated})
    EXPECT_TRUE(field->empty());
  EXPECT_EQ(fkKPT, 0);
  EXPECT_EQ(fkKvzu, 1);
  EXPECT_EQ(fkUnknown, 2);
  EXPECT_EQ(sizeof(TOstrevanFileKind), 1u);
}

TEST(RefPointer, CopiesMovesAndReleasesOnEveryPath) {
  int log = 0;
  {
    auto a = TRef<Probe>::Create(&log);
    TRef<Probe> b = a;
    EXPECT_EQ(a->RefCount(), 2);
    TRef<Probe> c = std::move(b);
    EXPECT_FALSE(b);
    EXPECT_EQ(a->RefCount(), 2);
    c = nullptr;
    EXPECT_EQ(a->RefCount(), 1);
    TRef<TRefObject> base = a;
    EXPECT_EQ(a->RefCount(), 2);
    try {
      TRef<Probe> inner = a;
      throw std::runtime_error("leave");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(a->RefCount(), 2);
    const TRef<Probe>& same = a;
    a = same;  // self-assignment keeps the object
    EXPECT_EQ(base->RefCount(), 2);
  }
  EXPECT_EQ(log, 100);
}

TEST(RefObjectList, TakesReferencesAndNotifiesEveryChange) {
  int log = 0;
  auto kept = TRef<Probe>::Create(&log);
  int changes = 0;
  {
    TRefObjectList list;  // disposing by default
    list.OnChange = [&](TRefObjectList& l) {
      ++changes;
      EXPECT_EQ(&l, &list);
    };
    list.Add(kept.get());
    list.Add(TRef<Probe>::Create(&log).get());
    EXPECT_EQ(kept->RefCount(), 2);
    EXPECT_EQ(changes, 2);
    list.Delete(1);  // the list held the only reference: disposed and freed
    EXPECT_EQ(log, 101);
    EXPECT_EQ(list.Remove(kept.get()), 0);
    EXPECT_EQ(log, 102);  // disposed, still alive through kept
    EXPECT_EQ(kept->RefCount(), 1);
    list.Add(kept.get());
    EXPECT_THROW(list.Items(1), std::out_of_range);
    EXPECT_EQ(changes, 5);
  }
  EXPECT_EQ(kept->RefCount(), 1);  // the list's destructor disposed its item
  EXPECT_EQ(log, 103);

  TRefObjectList plain(false);
  plain.Add(kept.get());
  plain.Clear();
  EXPECT_EQ(log, 103);  // released without the dispose hook
  EXPECT_EQ(kept->RefCount(), 1);
}
