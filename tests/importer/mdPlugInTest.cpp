// The plug-in's binding, through its exported functions as a host finds them: the factory serves
// only the importer type, interface queries and their results, reference counting and the
// export list.
#include "ImporterTestSupport.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace {

MDImporterInterfaceStruct* Table(void* instance) { return *static_cast<MDImporterInterfaceStruct**>(instance); }

class PlugInBindingTest : public ImporterTest {
 protected:
  void* makeInstance() {
    const MDUUIDBytes type = UUIDBytes(kMDImporterTypeIDString);
    return factory()(nullptr, &type);
  }
  MDImporterFactoryFunction factory() const {
    return exported<MDImporterFactoryFunction>("MetadataImporterPluginFactory");
  }
};

TEST_F(PlugInBindingTest, FactoryServesOnlyTheImporterTypeAndAllocatesNothingOtherwise) {
  MDUUIDBytes oneBitOff = UUIDBytes(kMDImporterTypeIDString);
  oneBitOff.bytes[15] ^= 1;
  const MDUUIDBytes refused[] = {
      UUIDBytes(kMDImporterFactoryIDString), UUIDBytes(kMDImporterInterfaceIDString),
      UUIDBytes(kMDImporterURLInterfaceIDString), UUIDBytes(kMDIUnknownUUIDString), MDUUIDBytes{}, oneBitOff};
  for (const MDUUIDBytes& type : refused) {
    EXPECT_EQ(factory()(nullptr, &type), nullptr);
    EXPECT_EQ(liveInstances(), 0u);
  }
  EXPECT_EQ(factory()(nullptr, nullptr), nullptr);
  EXPECT_EQ(liveInstances(), 0u);

  void* instance = makeInstance();
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(liveInstances(), 1u);
  EXPECT_EQ(Table(instance)->reserved, nullptr);
  EXPECT_EQ(Table(instance)->ImporterImportData, nullptr);
  EXPECT_EQ(Table(instance)->Release(instance), 0u);
  EXPECT_EQ(liveInstances(), 0u);
}

TEST_F(PlugInBindingTest, QueriesSetTheImportSlotAndCountAReference) {
  const auto byPath = exported<void*>("GetMetadataForPath");
  const auto byURL = exported<void*>("GetMetadataForURL");
  ASSERT_NE(byPath, nullptr);
  ASSERT_NE(byURL, nullptr);
  struct Query { const char* interfaceID; void* slotAfter; };
  // The base interface leaves the slot as the query before it set it.
  const Query queries[] = {{kMDIUnknownUUIDString, nullptr},
                           {kMDImporterInterfaceIDString, byPath},
                           {kMDIUnknownUUIDString, byPath},
                           {kMDImporterURLInterfaceIDString, byURL},
                           {kMDImporterInterfaceIDString, byPath}};
  void* instance = makeInstance();
  ASSERT_NE(instance, nullptr);
  uint32_t references = 1;
  for (const Query& query : queries) {
    void* result = nullptr;
    EXPECT_EQ(Table(instance)->QueryInterface(instance, UUIDBytes(query.interfaceID), &result), kMDResultOK)
        << query.interfaceID;
    EXPECT_EQ(result, instance);
    EXPECT_EQ(reinterpret_cast<void*>(Table(instance)->ImporterImportData), query.slotAfter) << query.interfaceID;
    ++references;
  }
  while (references > 1) EXPECT_EQ(Table(instance)->Release(instance), --references);
  EXPECT_EQ(liveInstances(), 1u);
  EXPECT_EQ(Table(instance)->Release(instance), 0u);
  EXPECT_EQ(liveInstances(), 0u);
}

TEST_F(PlugInBindingTest, QueryForAnotherInterfaceAnswersNoInterfaceAndKeepsTheCount) {
  void* instance = makeInstance();
  ASSERT_NE(instance, nullptr);
  MDUUIDBytes nearURL = UUIDBytes(kMDImporterURLInterfaceIDString);
  nearURL.bytes[0] ^= 0x80;
  for (const MDUUIDBytes& other : {UUIDBytes(kMDImporterTypeIDString), UUIDBytes(kMDImporterFactoryIDString),
                                   MDUUIDBytes{}, nearURL}) {
    void* result = instance;
    EXPECT_EQ(Table(instance)->QueryInterface(instance, other, &result), kMDResultNoInterface);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(Table(instance)->ImporterImportData, nullptr);
  }
  // Still one reference: AddRef gives 2.
  EXPECT_EQ(Table(instance)->AddRef(instance), 2u);
  EXPECT_EQ(Table(instance)->Release(instance), 1u);
  EXPECT_EQ(Table(instance)->QueryInterface(instance, UUIDBytes(kMDIUnknownUUIDString), nullptr), kMDResultNullPointer);
  EXPECT_EQ(Table(instance)->Release(instance), 0u);
}

TEST_F(PlugInBindingTest, AddRefAndReleaseCountAndTheLastReleaseFreesTheInstance) {
  void* instance = makeInstance();
  ASSERT_NE(instance, nullptr);
  MDImporterInterfaceStruct* table = Table(instance);
  EXPECT_EQ(table->AddRef(instance), 2u);
  EXPECT_EQ(table->Release(instance), 1u);
  EXPECT_EQ(liveInstances(), 1u);
#if defined(__SANITIZE_ADDRESS__)
  EXPECT_FALSE(__asan_address_is_poisoned(instance));
#endif
  const auto release = exported<uint32_t (*)(void*)>("MetadataImporterPluginRelease");
  ASSERT_NE(release, nullptr);
  EXPECT_EQ(release(instance), 0u);
  EXPECT_EQ(liveInstances(), 0u);
#if defined(__SANITIZE_ADDRESS__)
  // Freed memory stays poisoned while it waits in the sanitizer's quarantine.
  EXPECT_TRUE(__asan_address_is_poisoned(instance));
  EXPECT_TRUE(__asan_address_is_poisoned(table));
#endif
}

TEST_F(PlugInBindingTest, ExportsItsListAndNothingOfTheCodeItCopied) {
  const char* listed[] = {"MetadataImporterPluginFactory", "AllocMetadataImporterPluginType",
                          "DeallocMetadataImporterPluginType", "MetadataImporterQueryInterface",
                          "MetadataImporterPluginAddRef", "MetadataImporterPluginRelease", "GetMetadataForPath",
                          "GetMetadataForURL", "MDPlugInInstanceCountForFactory", "_Z10TypeOfCharDs",
                          "_Z16TypeOfStringCharRK7QStringm", "_Z19CharIsSpaceOrNumberDs",
                          "_Z18CharIsSpaceOrPunctDs", "_Z12CharIsLetterDs", "_Z20CharIsLetterOrNumberDs",
                          "_Z15CharIsLineBreakDs", "_Z14CharIsCurrencyDs", "_Z13UpperCaseCharDs",
                          "_Z13LowerCaseCharDs", "_Z15LowerCaseStringRK7QString", "_Z15UpperCaseStringRK7QString",
                          "_Z15TitleCaseStringRK7QString"};
  for (const char* name : listed) EXPECT_NE(plugIn.symbol(name), nullptr) << name;
  const char* hidden[] = {"_Z9IsNewlineDs", "_Z15unescapeForHtmlR7QString",
                          "_Z28createUnescapedStringForHtmlRK7QString", "_Z18ExtractTextContent11QStringView"};
  for (const char* name : hidden) EXPECT_EQ(plugIn.symbol(name), nullptr) << name;
}

}  // namespace
