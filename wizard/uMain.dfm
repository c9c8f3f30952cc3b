object frmMain: TfrmMain
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu, biMinimize]
  BorderStyle = bsSingle
  Caption = 'Zelvo Lumidor'
  ClientHeight = 350
  ClientWidth = 524
  Color = clWhite
  Constraints.MaxHeight = 382
  Constraints.MaxWidth = 530
  Constraints.MinHeight = 378
  Constraints.MinWidth = 530
  DoubleBuffered = True
  Position = poScreenCenter
  OnCreate = FormCreate
  OnDestroy = FormDestroy
  object pnlTop: TPanel
    Left = 0
    Top = 0
    Width = 524
    Height = 65
    Align = alTop
    BevelOuter = bvNone
    TabOrder = 0
    object imgTopBg: TImage
      Left = 0
      Top = 0
      Width = 524
      Height = 65
      Align = alClient
      Picture = ':/pictures/banner.png'
    end
    object imgLog: TImage
      Left = 14
      Top = 11
      Width = 48
      Height = 48
      Picture = ':/pictures/logo.png'
    end
    object lbl_Title: TLabel
      Left = 73
      Top = 14
      Width = 107
      Height = 16
      Caption = 'Zelvo Lumidor'
      Font.Color = $00924E0A
      Font.Height = -16
      ParentFont = False
    end
    object lbl_Detail: TLabel
      Left = 74
      Top = 38
      Width = 439
      Height = 13
      AutoSize = False
      Caption = 'Shuts down your computer automatically at a scheduled time. '#13#10
      Font.Color = clBlack
      ParentFont = False
    end
  end
  object pnlBottom: TPanel
    Left = 0
    Top = 289
    Width = 524
    Height = 61
    Align = alBottom
    ParentBackground = False
    TabOrder = 1
    object Image2: TImage
      Left = 1
      Top = 1
      Width = 522
      Height = 1
      Align = alTop
      Picture = ':/pictures/separator.png'
      Stretch = True
    end
    object btnBack: TButton
      Left = 177
      Top = 19
      Width = 90
      Height = 25
      Caption = '< Back'
      Enabled = False
      TabOrder = 0
      OnClick = btnBackClick
    end
    object btnNext: TButton
      Left = 283
      Top = 19
      Width = 90
      Height = 25
      Caption = 'Next >'
      TabOrder = 1
      OnClick = btnNextClick
    end
    object btnClose: TButton
      Left = 391
      Top = 19
      Width = 90
      Height = 25
      Caption = 'Close'
      Cancel = True
      TabOrder = 2
      OnClick = btnCloseClick
    end
  end
  object pnMain: TPageNote
    Left = 0
    Top = 65
    Width = 524
    Height = 224
    ActivePage = ptMain
    TabIndex = 0
    Align = alClient
    TabOrder = 2
    object ptMain: TPageTab
      Left = 0
      Top = 0
      Width = 524
      Height = 224
      Align = alClient
      BevelOuter = bvNone
      TabOrder = 0
      object lbl_PreJob: TLabel
        Left = 112
        Top = 8
        Width = 87
        Height = 14
        Caption = 'Scheduled task:'
        Font.Height = -12
        Font.Name = 'Arial'
        ParentFont = False
      end
      object lbl_Job: TLabel
        Left = 210
        Top = 8
        Width = 248
        Height = 15
        AutoSize = False
        Caption = 'N/A'
        Font.Color = clBlue
        Font.Height = -12
        Font.Name = 'Arial'
        ParentFont = False
      end
      object rgAction: TGroupBox
        Left = 38
        Top = 39
        Width = 443
        Height = 134
        Caption = 'Action'
        TabOrder = 0
      end
      object Panel1: TPanel
        Left = 75
        Top = 57
        Width = 383
        Height = 113
        BevelOuter = bvNone
        TabOrder = 1
        LabelledBy = rgAction
        object imgAdd: TImage
          Left = 37
          Top = 15
          Width = 32
          Height = 32
          Picture = ':/pictures/add.png'
        end
        object imgDelete: TImage
          Left = 37
          Top = 61
          Width = 32
          Height = 32
          Picture = ':/pictures/delete.png'
          Stretch = True
          Transparent = True
        end
        object rbCreate: TRadioButton
          Left = 102
          Top = 23
          Width = 229
          Height = 17
          Caption = 'Add a new Lumidor scheduled task'
          Checked = True
          TabOrder = 0
        end
        object rbDelete: TRadioButton
          Left = 102
          Top = 66
          Width = 229
          Height = 17
          Caption = 'Delete an existing scheduled task'
          TabOrder = 1
        end
      end
    end
    object ptAdd: TPageTab
      Left = 0
      Top = 0
      Width = 524
      Height = 224
      Align = alClient
      BevelOuter = bvNone
      TabOrder = 1
      Visible = False
      object lbl_AddSchJob: TLabel
        Left = 121
        Top = 5
        Width = 85
        Height = 14
        Caption = 'Schedule Time:'
        Font.Height = -12
        Font.Name = 'Arial'
        ParentFont = False
      end
      object lbl_AddJob: TLabel
        Left = 233
        Top = 5
        Width = 20
        Height = 14
        Caption = 'N/A'
        Font.Color = clBlue
        Font.Height = -12
        Font.Name = 'Arial'
        ParentFont = False
      end
      object rgAddAction: TGroupBox
        Left = 32
        Top = 24
        Width = 449
        Height = 194
        Caption = 'Schedule'
        Font.Height = -12
        Font.Name = 'Arial'
        ParentFont = False
        TabOrder = 0
      end
      object Panel2: TPanel
        Left = 48
        Top = 40
        Width = 400
        Height = 169
        BevelOuter = bvNone
        TabOrder = 1
        LabelledBy = rgAddAction
        object rbShutdown: TRadioButton
          Left = 60
          Top = 8
          Width = 124
          Height = 17
          Caption = 'Shut down Computer'
          Checked = True
          Font.Name = 'Arial'
          ParentFont = False
          TabOrder = 0
          OnClick = rbShutdownClick
        end
        object rbRestart: TRadioButton
          Left = 214
          Top = 10
          Width = 134
          Height = 17
          Caption = 'Restart Computer'
          Font.Name = 'Arial'
          ParentFont = False
          TabOrder = 1
          OnClick = rbRestartClick
        end
        object cbOption: TComboBox
          Left = 208
          Top = 33
          Width = 140
          Height = 21
          LabelledBy = rbAfter
          Style = csDropDownList
          TabOrder = 2
          OnChange = cbOptionChange
          Items.Strings = (
            '1 minute'
            '10 minute'
            '20 minutes'
            '30 minutes')
        end
        object dtPicker: TDateTimePicker
          Left = 208
          Top = 60
          Width = 140
          Height = 21
          LabelledBy = rbOrat1
          Enabled = False
          TabOrder = 3
          OnChange = dtPickerChange
        end
        object cbOption2: TComboBox
          Left = 208
          Top = 115
          Width = 140
          Height = 21
          LabelledBy = rbOrat2
          Style = csDropDownList
          ItemIndex = 0
          TabOrder = 4
          OnChange = cbOption2Change
          Items.Strings = (
            'Everyday'
            'Sunday'
            'Monday'
            'Tuesday'
            'Wednesday'
            'Thursday'
            'Friday'
            'Saturday')
        end
        object pnl1: TPanel
          Left = 112
          Top = 31
          Width = 72
          Height = 130
          BevelOuter = bvNone
          TabOrder = 5
          object rbAfter: TRadioButton
            Left = 16
            Top = 4
            Width = 113
            Height = 17
            Caption = '  After:'
            TabOrder = 0
            OnClick = rbAfterClick
          end
          object rbOrat1: TRadioButton
            Left = 16
            Top = 32
            Width = 113
            Height = 17
            Caption = '  Or at'
            TabOrder = 1
            OnClick = rbOrat1Click
          end
          object rbOrat2: TRadioButton
            Left = 16
            Top = 84
            Width = 113
            Height = 17
            Caption = '  Or at'
            TabOrder = 2
            OnClick = rbOrat2Click
          end
        end
        object DateTimePickerOnce: TDateTimePicker
          Left = 208
          Top = 88
          Width = 140
          Height = 21
          LabelledBy = rbOrat1
          Kind = dtkTime
          TabOrder = 6
          OnChange = DateTimePickerOnceChange
        end
        object DateTimePickerDaily: TDateTimePicker
          Left = 208
          Top = 142
          Width = 140
          Height = 21
          LabelledBy = rbOrat2
          Kind = dtkTime
          TabOrder = 7
          OnChange = DateTimePickerDailyChange
        end
      end
    end
    object ptDel: TPageTab
      Left = 0
      Top = 0
      Width = 524
      Height = 224
      Align = alClient
      BevelOuter = bvNone
      TabOrder = 2
      Visible = False
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
            HeaderAlign = taLeftJustify
          end
          item
            Header = 'Shutdown'
            GroupID = 0
            State = [lgsNormal, lgsCollapsible]
            HeaderAlign = taLeftJustify
          end>
        GroupView = False
        ReadOnly = True
        RowSelect = True
        TabOrder = 0
        ViewStyle = vsReport
        OnItemChecked = lvViewItemChecked
      end
    end
  end
end
