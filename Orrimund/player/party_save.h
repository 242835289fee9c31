#pragma once
// The party's part of a save ("LENT"): written and restored by the save
// image through the script world's hooks.
class SaveWriter;
class SaveReader;

bool party_save_members(SaveWriter& w);
bool party_load_members(SaveReader& r);
