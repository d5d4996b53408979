// Unit dm: appending a card to the verification log and reading one back.
#include "dm.h"

#include <vector>

namespace qx::kestrin {

TdataMd::TdataMd() : qrylog(&adoLog, data::CursorKind::Default), qryOutPut(&adoLog, data::CursorKind::Static) {}

void TdataMd::AppendLogRecord(const TShowCardLine& card) {
  appending_ = true;
  struct Lower {
    bool& flag;
    ~Lower() { flag = false; }
  } lower{appending_};
  std::vector<std::uint8_t> stream;
  if (!qrylog.Active()) {
    qrylog.SetSql("");
    qrylog.SetSql("Select * from TLog");
    qrylog.Open();
  }
  // Whatever selection qrylog shows, its rows come from TLog, so the new row goes there.
  qrylog.Append();
  // A row that cannot be stored is dropped, never left pending: the next Append would post it
  // first, storing this card a second time or half-filled.
  try {
    qrylog.FieldByName("FName").SetAsString(card.PersonName);
    qrylog.FieldByName("FSex").SetAsString(card.SexText);
    qrylog.FieldByName("FMZ").SetAsString(card.NationText);
    qrylog.FieldByName("FNo").SetAsString(card.IdNumber);
    qrylog.FieldByName("FBirth").SetAsString(card.BirthDate);
    qrylog.FieldByName("FAddress").SetAsString(card.AddressText);
    qrylog.FieldByName("FBegin").SetAsString(card.ValidFrom);
    qrylog.FieldByName("FEnd").SetAsString(card.ValidTo);
    qrylog.FieldByName("FSendDep").SetAsString(card.Authority);
    qrylog.FieldByName("FDate").SetAsString(card.RecordTime);
    stream = card.CardPhoto.ToBmp();
    // A card without a photo is stored without one (null), which reads back as an empty photo.
    if (stream.empty())
      qrylog.FieldByName("FPhoto").Clear();
    else
      qrylog.FieldByName("FPhoto").SetAsBlob(stream);
    qrylog.Post();
  } catch (...) {
    qrylog.Cancel();
    throw;
  }
}

void TdataMd::LoadLogRecord(TShowCardLine& card) {
  if (!qrylog.Active()) return;
  card.PersonName = qrylog.FieldByName("FName").AsString();
  card.SexText = qrylog.FieldByName("FSex").AsString();
  card.NationText = qrylog.FieldByName("FMZ").AsString();
  card.IdNumber = qrylog.FieldByName("FNO").AsString();
  card.BirthDate = qrylog.FieldByName("FBirth").AsString();
  card.AddressText = qrylog.FieldByName("FAddress").AsString();
  card.ValidFrom = qrylog.FieldByName("FBegin").AsString();
  card.ValidTo = qrylog.FieldByName("FEnd").AsString();
  card.Authority = qrylog.FieldByName("FSendDep").AsString();
  card.CardPhoto = Picture::FromBmp(qrylog.FieldByName("Fphoto").AsBlob());
}

}  // namespace qx::kestrin
