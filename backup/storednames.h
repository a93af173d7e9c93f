#pragma once

// Stored names (SHA-1 of domain-relative path) of the record databases.
namespace StoredNames {
constexpr char AddressBook[] = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
constexpr char AddressBookImages[] = "cd6702cea29fe89cf280a76794405adb17f9a0ee";
constexpr char AddressBookImagesMddata[] = "cd6702cea29fe89cf280a76794405adb17f9a0ee.mddata";
constexpr char Sms[] = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
constexpr char NoteStore[] = "4f98687d8ab0d6d1a371110e6b7300f6e465bef2";
constexpr char NotesSqlite[] = "ca3bc056d4da0bbf88b5fb3be254f3b7147e639c";
constexpr char NotesDb[] = "740b7eaf93d6ea5d305e88bb349c8e9643f48c3b";
constexpr char CallHistoryStoredata[] = "5a4935c78a5255723f707230a451d79c540d2741";
constexpr char CallHistoryDb[] = "2b2b0084a1bc3a5ac8c27afdf14afb42c61a19ca";
constexpr char BookmarksDb[] = "d1f062e2da26192a6625d968274bfda8d07821e4";
constexpr char BookmarksPlist[] = "04cc352fd9943f7c0c3f0781d4834fa137775761";
constexpr char HistoryPlist[] = "1d6740792a2b845f4c1e6220c43906d7f0afe8ab";
constexpr char Calendar[] = "2041457d5fe04d39d0ab481178355df6781e6858";
} // namespace StoredNames
