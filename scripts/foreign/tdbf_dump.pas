{ Prints a dBASE table as Free Pascal's TDbf reads it: the level and the columns
  (name:type:size, type as TFieldType's ordinal), then one line per record, values separated
  by "|", blank values as <null>, dates as yyyy-mm-dd, numbers with a decimal point. Text
  stays in the table's bytes. Usage: tdbf_dump <table file> }
program tdbf_dump;
{$mode objfpc}{$H+}
uses SysUtils, db, dbf;
var
  table: TDbf;
  i: Integer;
  line: string;
  field: TField;
begin
  if ParamCount <> 1 then
  begin
    WriteLn(StdErr, 'usage: tdbf_dump <table file>');
    Halt(2);
  end;
  DefaultFormatSettings.DecimalSeparator := '.';
  table := TDbf.Create(nil);
  try
    table.FilePathFull := ExtractFilePath(ExpandFileName(ParamStr(1)));
    table.TableName := ExtractFileName(ParamStr(1));
    table.ReadOnly := True;
    table.Open;
    line := '';
    for i := 0 to table.FieldDefs.Count - 1 do
      line := line + Format(' %s:%d:%d', [table.FieldDefs[i].Name, Ord(table.FieldDefs[i].DataType),
        table.FieldDefs[i].Size]);
    WriteLn('level ', table.TableLevel, line);
    table.First;
    while not table.EOF do
    begin
      line := '';
      for i := 0 to table.FieldCount - 1 do
      begin
        field := table.Fields[i];
        if i > 0 then line := line + '|';
        if field.IsNull then
          line := line + '<null>'
        else if field.DataType = ftDate then
          line := line + FormatDateTime('yyyy-mm-dd', field.AsDateTime)
        else
          line := line + field.AsString;
      end;
      WriteLn(line);
      table.Next;
    end;
    table.Close;
  finally
    table.Free;
  end;
end.
