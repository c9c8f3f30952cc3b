// A window in the shape of the wizard: every kind of control and property.
object frmTest: TfrmMain
  BorderIcons = [biSystemMenu, biMinimize]
  BorderStyle = bsSingle
  Caption = 'Zelvo Lumidor'
  ClientHeight = 350
  ClientWidth = 524
  Color = clWhite
  Position = poScreenCenter
  DoubleBuffered = True
  OnCreate = FormCreate
  OnDestroy = FormDestroy
  object pnlTop: TPanel
    Width = 524
    Height = 65
    Align = alTop
    BevelOuter = bvNone
    TabOrder = 0
    object imgTopBg: TImage
      Width = 524
      Height = 65
      Align = alClient
    end
    object imgLog: TImage
      Left = 14
      Top = 11
      Width = 48
      Height = 48
      Stretch = True
      Transparent = True
    end
  end
  object pnlBottom: TPanel
    Top = 289
    Width = 524
    Height = 61
    Align = alBottom
    ParentBackground = False
    TabOrder = 1
    object btnBack: TButton
      Left = 177
      Top = 19
      Width = 90
      Caption = '< Back'
      Enabled = False
      TabOrder = 0
      OnClick = btnBackClick
    end
    object btnNext: TButton
      Left = 283
      Top = 19
      Width = 90
      Caption = 'Next >'
      TabOrder = 1
      OnClick = btnNextClick
    end
  end
  object pnMain: TPanel
    Top = 65
    Width = 524
    Height = 224
    Align = alClient
    BevelOuter = bvNone
    TabOrder = 2
    object rgAction: TGroupBox
      Left = 38
      Top = 39
      Width = 443
      Height = 134
      Caption = 'Action'
      Font.Height = -12
      Font.Name = 'Arial'
      TabOrder = 0
    end
    object Panel2: TPanel
      Left = 48
      Top = 40
      Width = 400
      Height = 169
      BevelOuter = bvNone
      TabOrder = 1
      object rbShutdown: TRadioButton
        Left = 60
        Top = 8
        Width = 124
        Caption = 'Shut down Computer'
        Checked = True
        Font.Color = $00920A4E
        Font.Height = -11
        Font.Name = 'Arial'
        Font.Style = [fsBold]
        TabOrder = 0
        OnClick = rbShutdownClick
      end
      object rbRestart: TRadioButton
        Left = 214
        Top = 10
        Width = 134
        Caption = 'Restart Computer'
        TabOrder = 1
        OnClick = rbRestartClick
      end
      object cbOption: TComboBox
        Left = 208
        Top = 33
        Width = 140
        Style = csDropDownList
        Items.Strings = (
          '1 minute'
          '10 minute'
          '20 minutes'
          '30 minutes')
        TabOrder = 2
        OnChange = cbOptionChange
      end
      object cbOption2: TComboBox
        Left = 208
        Top = 115
        Width = 140
        Style = csDropDownList
        Items.Strings = (
          'Everyday'
          'Sunday')
        ItemIndex = 0
        TabOrder = 4
      end
      object dtPicker: TDateTimePicker
        Left = 208
        Top = 60
        Width = 140
        Enabled = False
        TabOrder = 3
        OnChange = dtPickerChange
      end
      object DateTimePickerOnce: TDateTimePicker
        Left = 208
        Top = 88
        Width = 140
        Kind = dtkTime
        TabOrder = 5
      end
    end
    object lvView: TListView
      Left = 38
      Top = 21
      Width = 443
      Height = 179
      Checkboxes = True
      Columns = <
        item
          AutoSize = True
          Caption = 'Scheduled task'
          MinWidth = 400
        end>
      Groups = <
        item
          Header = 'Restart'
          GroupID = 1
          State = [lgsNormal, lgsCollapsible]
        end
        item
          Header = 'Shutdown'
          GroupID = 0
          State = [lgsNormal, lgsCollapsible]
        end>
      ReadOnly = True
      RowSelect = True
      ViewStyle = vsReport
      OnItemChecked = lvViewItemChecked
      TabOrder = 2
    end
  end
end
